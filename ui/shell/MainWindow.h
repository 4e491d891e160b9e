#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QStringList>
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
class SequenceItem;

// The application window: the menus, the three tabs (media browser, grading,
// render) and the project file operations: open, save, save as and autosave,
// the unsaved-changes mark "*" in the title and the question on closing, and
// the overlay shown while a long operation runs for more than 400 ms.
//
// Saves run on the task thread in the order they were asked for; each save
// keeps its own path until its outcome arrives, so an autosave finishing
// between a "Save As" and its outcome never becomes the project's path.
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

    // How the unsaved-changes question and the file dialogs are answered;
    // tests replace them.
    using Question = std::function<QMessageBox::StandardButton()>;
    using FileChooser = std::function<QString(bool forSaving)>;
    // The id of the preset group the presets strip shows, or -1.
    using PresetGroupSource = std::function<int()>;
    // Opens an address in the desktop's browser; tests replace it.
    using UrlOpener = std::function<bool(const QUrl& url)>;
    // Whether to quit and cancel the render that runs; tests replace it.
    using StopRenderQuestion = std::function<bool()>;

    static constexpr int longOperationDelayMs = 400;
    static constexpr int minimumAutosaveIntervalMs = 60000;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The autosave interval of the settings store ("DefaultSettings/
    // AutoSaveTimer", milliseconds), at least minimumAutosaveIntervalMs.
    static int storedAutosaveInterval();
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

    void setUnsavedChangesQuestion(Question question) { m_question = std::move(question); }
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // An empty opener goes back to the desktop's.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    void setStopRenderQuestion(StopRenderQuestion question) { m_stopRender = std::move(question); }
    void setAutosaveInterval(int ms);
    int autosaveInterval() const { return m_autosaveTimer.interval(); }
    // Where autosaves go (the per-user autosave project unless replaced).
    void setAutosavePath(const QString& path) { m_autosavePath = path; }
    QString autosavePath() const { return m_autosavePath; }

    bool hasUnsavedChanges() const { return m_unsaved; }
    QString currentPath() const { return m_currentPath; }
    QStringList savesInProgress() const { return m_savesInProgress; }
    // How many projects have been opened or started: a save asked for
    // before the last one does not name the project now open.
    int projectGeneration() const { return m_projectGeneration; }
    bool isLoading() const { return m_loading; }
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
    bool isAutosavePath(const QString& path) const;

    Controller* m_controller = nullptr;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_containers[3] = {};
    QWidget* m_header = nullptr;
    LoadingOverlay* m_overlay = nullptr;
    QLabel* m_renderingNotice = nullptr;
    QTimer m_autosaveTimer;
    QTimer m_longOperationTimer;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QAction* m_submitFeedback = nullptr;
    Question m_question;
    FileChooser m_chooseFile;
    UrlOpener m_openUrl;
    QAction* m_new = nullptr;
    QAction* m_open = nullptr;
    StopRenderQuestion m_stopRender;
    QString m_autosavePath;
    QString m_currentPath;
    QStringList m_savesInProgress;
    // The project generation of each save in progress, in the same order.
    QList<int> m_saveGenerations;
    int m_projectGeneration = 0;
    bool m_unsaved = false;
    bool m_loading = false;
    bool m_renderingLocked = false;
    bool m_closeAfterSave = false;
    bool m_closing = false;
    PresetGroupSource m_presetGroup;
};

} // namespace Emulsa
