#pragma once

#include "core/ClipSettings.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace Emulsa {

// "Export LUT…": asks for a file, bakes the grade into a .cube table on a
// worker thread (a progress dialog with Cancel shows when it takes a
// while), and writes it. One export at a time.
class LookExporter : public QObject
{
    Q_OBJECT

public:
    // Asked for the file; receives a suggested path, returns the chosen one
    // or an empty string for "cancelled". Replaceable in tests.
    using FileChooser = std::function<QString(const QString& suggested)>;

    explicit LookExporter(QWidget* window);
    ~LookExporter() override;

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    bool isBusy() const { return m_watcher.isRunning(); }

public slots:
    // Exports `grade` as a table of `size` points a side named `title`.
    void exportLook(const Emulsa::ClipSettings& grade, int size, const QString& title);

signals:
    void exported(const QString& path);
    void failed(const QString& message);

private:
    struct Outcome
    {
        bool ok = false;
        QString message;
    };
    QString chooseFile(const QString& suggested);
    void finish();

    QWidget* m_window;
    FileChooser m_chooseFile;
    QFutureWatcher<Outcome> m_watcher;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QPointer<QProgressDialog> m_progress;
    QString m_path;
};

} // namespace Emulsa
