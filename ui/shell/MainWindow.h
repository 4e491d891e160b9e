#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <functional>

class QAction;
class QLabel;
class QTabWidget;
class QVBoxLayout;

namespace Emulsa {

class Controller;
class LoadingOverlay;
class ProjectSession;
class SequenceItem;

// The application window: the menus, the three tabs (media browser, grading,
// render), the project file operations the user asks for (open, save, save
// as, new) with the unsaved-changes mark "*" in the title and the question on
// closing, and the overlay shown while a long operation runs for more than
// 400 ms. The open project itself (its path, saves in progress, autosave) is
// the ProjectSession's.
//
// Closing with unsaved changes and "Yes" keeps the window until the save has
// finished (it closes then) or failed (it stays, and the failure is shown).
// While a project loads the window refuses to open, save or close again.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum Tab
    {
        MediaTab = 0,
        GradingTab = 1,
        RenderTab = 2,
    };

    // How the window asks the user; tests replace these. An empty one asks
    // with the desktop's own dialog or browser.
    struct Prompts
    {
        // Save the changes first: Yes, No or Cancel.
        std::function<QMessageBox::StandardButton()> unsavedChanges;
        // A project file to save to or open; empty when none was chosen.
        std::function<QString(bool forSaving)> projectFile;
        // Opens an address in the browser; false when it could not.
        std::function<bool(const QUrl& url)> openUrl;
        // Whether to quit and cancel the render that runs.
        std::function<bool()> stopRender;
    };
    // The id of the preset group the presets strip shows, or -1.
    using PresetGroupSource = std::function<int()>;

    static constexpr int longOperationDelayMs = 400;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The feedback form's address of the settings store
    // ("DefaultSettings/FeedbackUrl"); invalid when none is set, and then
    // Help > Submit Feedback is hidden.
    static QUrl feedbackUrl();

    // Connects the window's actions and signals to the controller and the
    // controller's outcomes to the window.
    void setController(Controller* controller);

    // Puts a tab's content in place (the window takes ownership; an earlier
    // content is deleted).
    void setTabContent(Tab tab, QWidget* content);
    QWidget* tabContent(Tab tab) const;
    QTabWidget* tabs() const { return m_tabs; }
    // The grading panel's bar, shown over the tab bar's right end while the
    // grading tab is current.
    void setHeaderBar(QWidget* header);
    // Where "save as preset" learns the group to save into: the group shown
    // in the presets strip at the moment of the press.
    void setPresetGroupSource(PresetGroupSource source) { m_presetGroup = std::move(source); }

    Prompts& prompts() { return m_prompts; }
    ProjectSession* project() const { return m_project; }
    // True while a render runs (see setRenderingLock).
    bool isRenderingLocked() const { return m_renderingLocked; }
    // The reason shown on what is locked while a render runs.
    static QString renderingLockReason();
    LoadingOverlay* overlay() const { return m_overlay; }
    // The status bar's line shown while a render runs.
    QLabel* renderingNotice() const { return m_renderingNotice; }

    // Opens a project; false when it was refused (a load already running) or
    // the file could not be opened.
    bool readSelectedProjectFile(const QString& path);
    // Asks for a save of the project to `path`; false when the file cannot
    // be written or a load is running.
    bool saveToFile(const QString& path);

public slots:
    // The project named on the command line (one argument), otherwise the
    // autosave project.
    void readSelectedProjectFile();
    void newTriggered();
    void openTriggered();
    void saveTriggered();
    void saveAsTriggered();
    void aboutTriggered();
    void submitFeedbackTriggered();
    void openLogFileFolderTriggered();
    void currentTabChanged(int index);
    void saveCurrentSetingsAsPreset();
    void changesNoticed();
    void saveToFileJustFinished(const QString& path, bool success);
    void longOperationStart();
    void longOperationStop();
    void shouldDisplayLongOperationWidget();
    void autosaveTriggered();
    // While a render runs nothing may change the sequence or the grades: the
    // media and grading tabs cannot be entered, Undo, Redo, New and Open are
    // off and the status bar says why. Saving stays available: it only reads
    // the project, and a long render is when a save matters most.
    void setRenderingLock(bool rendering);

signals:
    void pushNewSequenceItemToShotList(Emulsa::SequenceItem* item);
    void newFileToBeLoaded(const QString& path);
    void newFileLoaded();
    void saveProjectToFile(const QString& path);
    void savePresetPressed(int groupId);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    // Yes saves (false when no file was chosen), No goes on; false on Cancel.
    bool settleUnsavedChanges();
    QString askForFile(bool forSaving);
    void updateTitle();
    void updateFeedbackAction();
    void placeHeaderBar();

    Controller* m_controller = nullptr;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_containers[3] = {};
    QWidget* m_header = nullptr;
    LoadingOverlay* m_overlay = nullptr;
    QLabel* m_renderingNotice = nullptr;
    ProjectSession* m_project = nullptr;
    QTimer m_longOperationTimer;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QAction* m_submitFeedback = nullptr;
    QAction* m_new = nullptr;
    QAction* m_open = nullptr;
    Prompts m_prompts;
    bool m_renderingLocked = false;
    bool m_closeAfterSave = false;
    bool m_closing = false;
    PresetGroupSource m_presetGroup;
};

} // namespace Emulsa
