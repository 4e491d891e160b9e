#pragma once

#include <QWidget>

class QPushButton;

namespace Emulsa {

// The "Scanning..." cover laid over the browser while a folder is scanned,
// with its Cancel button. Cancel answers at once: it raises cancelled(),
// whatever the scan is doing.
class ScanOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit ScanOverlay(QWidget* parent = nullptr);

    bool isCancelled() const { return m_cancelled; }
    QPushButton* cancelButton() const { return m_cancel; }

public slots:
    void cancelPressed();

signals:
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* m_cancel;
    bool m_cancelled = false;
};

} // namespace Emulsa
