#pragma once

#include <QMainWindow>

namespace Emulsa {

// The application window: "Emulsa - <project>".
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    void setProjectName(const QString& name);
};

} // namespace Emulsa
