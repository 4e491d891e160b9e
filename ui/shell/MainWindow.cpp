#include "ui/shell/MainWindow.h"

#include "app/Controller.h"
#include "app/FileManager.h"
#include "app/MessageLog.h"
#include "app/ProjectSession.h"
#include "media/clip/SequenceItem.h"
#include "model/SettingsManager.h"
#include "ui/shell/LoadingOverlay.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace Emulsa {

namespace {

const QString projectFilter = QStringLiteral("Emulsa Project (*.empf)");
const QString feedbackUrlKey = QStringLiteral("DefaultSettings/FeedbackUrl");

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_tabs(new QTabWidget(this))
    , m_project(new ProjectSession(this))
{
    setObjectName(QStringLiteral("mainWindow"));
    const QString tabNames[3] = { tr("Media"), tr("Grading"), tr("Render") };
    for (int i = 0; i < 3; ++i) {
        m_containers[i] = new QWidget(m_tabs);
        auto* layout = new QVBoxLayout(m_containers[i]);
        layout->setContentsMargins(0, 0, 0, 0);
        m_tabs->addTab(m_containers[i], tabNames[i]);
    }
    setCentralWidget(m_tabs);
    buildMenus();
    m_overlay = new LoadingOverlay(this);
    // A permanent widget, so that the menus' status tips do not replace it.
    m_renderingNotice = new QLabel(this);
    m_renderingNotice->setObjectName(QStringLiteral("renderingNotice"));
    statusBar()->addPermanentWidget(m_renderingNotice, 1);
    statusBar()->hide();

    connect(m_project, &ProjectSession::saveRequested, this, &MainWindow::saveProjectToFile);
    connect(m_project, &ProjectSession::stateChanged, this, &MainWindow::updateTitle);

    m_longOperationTimer.setSingleShot(true);
    m_longOperationTimer.setInterval(longOperationDelayMs);
    connect(&m_longOperationTimer, &QTimer::timeout, this, &MainWindow::shouldDisplayLongOperationWidget);
    connect(m_tabs, &QTabWidget::currentChanged, this, &MainWindow::currentTabChanged);

    updateTitle();
    resize(1280, 800);
}

MainWindow::~MainWindow() = default;

QUrl MainWindow::feedbackUrl()
{
    const QString stored = SettingsManager::openStore()->value(feedbackUrlKey).toString().trimmed();
    return stored.isEmpty() ? QUrl() : QUrl::fromUserInput(stored);
}

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    m_new = file->addAction(tr("New"), this, &MainWindow::newTriggered);
    m_new->setShortcut(QKeySequence::New);
    m_new->setToolTip(tr("Start an empty project"));
    m_open = file->addAction(tr("Open"), this, &MainWindow::openTriggered);
    m_open->setShortcut(QKeySequence::Open);
    m_open->setToolTip(tr("Open project file"));
    QAction* save = file->addAction(tr("Save"), this, &MainWindow::saveTriggered);
    save->setShortcut(QKeySequence::Save);
    save->setToolTip(tr("Save current project"));
    QAction* saveAs = file->addAction(tr("Save As"), this, &MainWindow::saveAsTriggered);
    saveAs->setShortcuts({ QKeySequence(QStringLiteral("Ctrl+Shift+S")), QKeySequence::SaveAs });
    saveAs->setToolTip(tr("Save current project as"));
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
    quit->setToolTip(tr("Quit Emulsa"));
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    m_undo = edit->addAction(tr("Undo"));
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo = edit->addAction(tr("Redo"));
    QList<QKeySequence> redoKeys { QKeySequence(QStringLiteral("Ctrl+Y")) };
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Redo))
        if (!redoKeys.contains(key))
            redoKeys.append(key);
    m_redo->setShortcuts(redoKeys);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("About"), this, &MainWindow::aboutTriggered);
    m_submitFeedback = help->addAction(tr("Submit Feedback"), this, &MainWindow::submitFeedbackTriggered);
    help->addAction(tr("Open Log Files Folder"), this, &MainWindow::openLogFileFolderTriggered);
    // The address may be set while the program runs.
    connect(help, &QMenu::aboutToShow, this, &MainWindow::updateFeedbackAction);
    updateFeedbackAction();
}

void MainWindow::setController(Controller* controller)
{
    m_controller = controller;
    // A disabled action can still be triggered from code: the lock is
    // checked here too.
    connect(m_undo, &QAction::triggered, controller, [this, controller] {
        if (!m_renderingLocked)
            controller->undoTriggered();
    });
    connect(m_redo, &QAction::triggered, controller, [this, controller] {
        if (!m_renderingLocked)
            controller->redoTriggered();
    });
    connect(this, &MainWindow::pushNewSequenceItemToShotList, controller, &Controller::sequenceItemToBeAddedToShotList);
    connect(this, &MainWindow::newFileToBeLoaded, controller, &Controller::newFileToLoad);
    connect(this, &MainWindow::newFileLoaded, controller, &Controller::newFileLoaded);
    connect(this, &MainWindow::saveProjectToFile, controller, &Controller::saveProjectToXMLFile);
    connect(this, &MainWindow::savePresetPressed, controller, &Controller::savePresetFromUI);
    connect(controller, &Controller::newUnsavedChangesNoticed, this, &MainWindow::changesNoticed);
    connect(controller, &Controller::projectSaveFinished, this, &MainWindow::saveToFileJustFinished);
    connect(controller, &Controller::longOperationHasStarted, this, &MainWindow::longOperationStart);
    connect(controller, &Controller::longOperationHasStoped, this, &MainWindow::longOperationStop);
}

void MainWindow::setTabContent(Tab tab, QWidget* content)
{
    QLayout* layout = m_containers[tab]->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (content)
        layout->addWidget(content);
}

QWidget* MainWindow::tabContent(Tab tab) const
{
    QLayoutItem* item = m_containers[tab]->layout()->itemAt(0);
    return item ? item->widget() : nullptr;
}

void MainWindow::setHeaderBar(QWidget* header)
{
    delete m_header;
    m_header = header;
    if (!header)
        return;
    header->setParent(this);
    header->adjustSize();
    currentTabChanged(m_tabs->currentIndex());
}

void MainWindow::updateTitle()
{
    QString title = QStringLiteral("Emulsa");
    if (!m_project->currentPath().isEmpty())
        title += QStringLiteral(" - %1").arg(QFileInfo(m_project->currentPath()).fileName());
    if (m_project->hasUnsavedChanges())
        title += QLatin1Char('*');
    setWindowTitle(title);
}

void MainWindow::readSelectedProjectFile()
{
    const QStringList arguments = QCoreApplication::arguments();
    qDebug() << Q_FUNC_INFO << arguments;
    readSelectedProjectFile(arguments.size() == 2 ? arguments.at(1) : m_project->autosavePath());
}

bool MainWindow::readSelectedProjectFile(const QString& path)
{
    if (!m_controller)
        return false;
    return m_project->open(path, [this](BaseTask* task) { m_controller->postTask(task); });
}

bool MainWindow::saveToFile(const QString& path)
{
    return m_project->save(path);
}

void MainWindow::saveToFileJustFinished(const QString& path, bool success)
{
    const ProjectSession::FinishedSave finished = m_project->finishSave(path, success);
    if (!m_closeAfterSave || finished == ProjectSession::FinishedSave::NotAsked
        || finished == ProjectSession::FinishedSave::Autosave)
        return;
    m_closeAfterSave = false;
    if (success && !m_project->hasUnsavedChanges()) {
        m_closing = true;
        close();
    } else if (!success) {
        qCritical() << "The project was not saved; the window stays open.";
    }
}

QString MainWindow::askForFile(bool forSaving)
{
    if (m_prompts.projectFile)
        return m_prompts.projectFile(forSaving);
    if (forSaving)
        return QFileDialog::getSaveFileName(this, tr("Save project file"), QDir::homePath(), projectFilter);
    return QFileDialog::getOpenFileName(this, tr("Open project file"), QDir::homePath(), projectFilter);
}

bool MainWindow::settleUnsavedChanges()
{
    if (!m_project->hasUnsavedChanges())
        return true;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    if (m_prompts.unsavedChanges) {
        answer = m_prompts.unsavedChanges();
    } else {
        answer = QMessageBox::question(this, tr("Unsaved changes"),
            tr("Do you want to save changes to the current project?<br />Any unsaved changes will be lost."),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    }
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::No)
        return true;
    QString path = m_project->currentPath();
    if (path.isEmpty())
        path = askForFile(true);
    return !path.isEmpty() && saveToFile(path);
}

void MainWindow::newTriggered()
{
    if (m_project->isLoading() || m_renderingLocked || !m_controller || !settleUnsavedChanges())
        return;
    emit newFileToBeLoaded(QString());
    emit newFileLoaded();
    m_project->startNew();
}

void MainWindow::openTriggered()
{
    if (m_project->isLoading() || m_renderingLocked || !settleUnsavedChanges())
        return;
    const QString path = askForFile(false);
    if (path.isEmpty())
        return;
    qDebug() << "Opening file:" << path;
    readSelectedProjectFile(path);
}

void MainWindow::saveTriggered()
{
    if (!m_project->currentPath().isEmpty()) {
        saveToFile(m_project->currentPath());
        return;
    }
    saveAsTriggered();
}

void MainWindow::saveAsTriggered()
{
    if (m_project->isLoading())
        return;
    const QString path = askForFile(true);
    if (path.isEmpty())
        return;
    qDebug() << "Saving to file:" << path;
    saveToFile(path);
}

void MainWindow::aboutTriggered()
{
    QMessageBox::about(this, tr("About Emulsa"),
        tr("<b>Emulsa</b> %1<br />Film emulation colour grading.").arg(QCoreApplication::applicationVersion()));
}

void MainWindow::updateFeedbackAction()
{
    m_submitFeedback->setVisible(feedbackUrl().isValid());
}

void MainWindow::submitFeedbackTriggered()
{
    const QUrl url = feedbackUrl();
    const bool opened = url.isValid() && (m_prompts.openUrl ? m_prompts.openUrl(url) : QDesktopServices::openUrl(url));
    if (!opened)
        qWarning() << "Something went wrong when trying to open beta form feedback";
}

void MainWindow::openLogFileFolderTriggered()
{
    showInFileManager(MessageLog::logsFolderPath());
}

void MainWindow::currentTabChanged(int index)
{
    if (!m_header)
        return;
    m_header->setVisible(index == GradingTab);
    if (index == GradingTab) {
        placeHeaderBar();
        m_header->raise();
    }
}

QString MainWindow::renderingLockReason()
{
    return tr("Rendering: the sequence and its grades cannot change until the render finishes or is canceled.");
}

void MainWindow::setRenderingLock(bool rendering)
{
    if (rendering == m_renderingLocked)
        return;
    m_renderingLocked = rendering;
    const QString reason = rendering ? renderingLockReason() : QString();
    for (const Tab tab : { MediaTab, GradingTab }) {
        m_tabs->setTabEnabled(tab, !rendering);
        m_tabs->setTabToolTip(tab, reason);
    }
    // Undo and Redo are the undo stack's way into the sequence; New and Open
    // would replace it under the render.
    for (QAction* action : { m_undo, m_redo, m_new, m_open }) {
        action->setEnabled(!rendering);
        action->setStatusTip(reason);
    }
    if (m_header)
        m_header->setEnabled(!rendering);
    m_renderingNotice->setText(reason);
    statusBar()->setVisible(rendering);
}

void MainWindow::placeHeaderBar()
{
    if (!m_header)
        return;
    const QPoint tabsTopLeft = m_tabs->mapTo(this, QPoint(0, 0));
    const int barHeight = m_tabs->tabBar()->height();
    const int x = tabsTopLeft.x() + m_tabs->width() - m_header->width() - 13;
    const int y = tabsTopLeft.y() + qMax(0, (barHeight - m_header->height()) / 2);
    m_header->move(x, y);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    placeHeaderBar();
}

void MainWindow::saveCurrentSetingsAsPreset()
{
    const int groupId = m_presetGroup ? m_presetGroup() : -1;
    if (groupId < 0) {
        qWarning() << "No preset group to save the preset into";
        return;
    }
    emit savePresetPressed(groupId);
}

void MainWindow::changesNoticed()
{
    m_project->markChanged();
}

void MainWindow::longOperationStart()
{
    m_longOperationTimer.start();
}

void MainWindow::longOperationStop()
{
    m_longOperationTimer.stop();
    m_overlay->hide();
}

void MainWindow::shouldDisplayLongOperationWidget()
{
    m_overlay->setGeometry(rect());
    m_overlay->show();
    m_overlay->raise();
}

void MainWindow::autosaveTriggered()
{
    m_project->autosave();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    qDebug() << "Now closing";
    // Quitting cancels a render: not without asking (a save asked for on
    // closing closes again once it is done, without asking twice).
    if (m_renderingLocked && !m_closing) {
        const bool stop = m_prompts.stopRender
            ? m_prompts.stopRender()
            : QMessageBox::question(this, tr("Render in progress"), tr("A render is running. Cancel it and quit?"),
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                == QMessageBox::Yes;
        if (!stop) {
            event->ignore();
            return;
        }
    }
    if (m_closing || !m_project->hasUnsavedChanges()) {
        if (m_project->isLoading()) {
            event->ignore();
            return;
        }
        event->accept();
        return;
    }
    // A save asked for on closing is on its way: the window closes when it
    // has finished.
    if (m_project->isLoading() || m_closeAfterSave) {
        event->ignore();
        return;
    }
    const QString before = m_project->savesInProgress().join(QLatin1Char('\n'));
    if (!settleUnsavedChanges()) {
        event->ignore();
        return;
    }
    if (m_project->savesInProgress().join(QLatin1Char('\n')) != before) {
        // "Yes": wait for the save.
        m_closeAfterSave = true;
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace Emulsa
