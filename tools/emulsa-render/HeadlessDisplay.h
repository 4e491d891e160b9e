#pragma once

#include <QString>

#include <sys/types.h>

namespace Emulsa::RenderTool {

// A private virtual X display for machines without one: when DISPLAY is not
// set, start() runs "Xvfb -displayfd" on a free display number, points
// DISPLAY at it and stops it again on destruction. Call before the
// application object is made.
class HeadlessDisplay
{
public:
    HeadlessDisplay() = default;
    ~HeadlessDisplay();

    HeadlessDisplay(const HeadlessDisplay&) = delete;
    HeadlessDisplay& operator=(const HeadlessDisplay&) = delete;

    // True when a display is usable afterwards (the user's own, or a new
    // private one); *error says why not.
    bool start(QString* error);
    bool isPrivate() const { return m_pid > 0; }
    const QString& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QString m_display;
};

} // namespace Emulsa::RenderTool
