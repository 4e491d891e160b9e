#include "ui/MainWindow.h"

#include "app/ErrorLogger.h"
#include "app/FileManager.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>

namespace Emulsa {

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* openLogs = help->addAction(tr("Open Log Files Folder"));
    connect(openLogs, &QAction::triggered, this, [] { showInFileManager(ErrorLogger::logsFolderPath()); });

    auto* placeholder = new QLabel(tr("No clip"), this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
    setProjectName(tr("Untitled"));
    resize(1280, 800);
}

void MainWindow::setProjectName(const QString& name)
{
    setWindowTitle(QStringLiteral("%1 - %2").arg(QApplication::applicationName(), name));
}

} // namespace Emulsa
