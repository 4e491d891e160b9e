#pragma once

#include <QWidget>

class QLabel;

namespace Emulsa {

// A dimmed cover over its parent with a short message, shown while a long
// operation (loading a project) keeps the application busy. It follows the
// parent's size.
class LoadingOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit LoadingOverlay(QWidget* parent);

    void setText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_label = nullptr;
};

} // namespace Emulsa
