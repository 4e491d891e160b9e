#pragma once

#include <QObject>
#include <QThread>

#include <memory>

namespace Emulsa {

class Controller;
class EMFilmSettings;
class MainWindow;
class Model;
class PresetsListDialog;
class EMPresetsWidget;
class LookExporter;
class SettingsPanelHeaderWidget;

// The application's long-lived objects and their wiring: the model on a
// thread of its own, the main window with its tabs, and the controller with
// its task thread. teardown() takes them down in a fixed order: the window
// (no view is left to receive), the controller (its task thread stopped and
// waited for, a save still queued written), then the model thread (quit and
// waited for) and only then the model.
class ApplicationAssembly
{
public:
    struct Teardown
    {
        bool taskThreadFinished = false;
        bool modelThreadFinished = false;
    };

    // Without a preview the grading tab has none (for tests of the wiring).
    explicit ApplicationAssembly(bool withPreview = true);
    ~ApplicationAssembly();

    // Shows the window maximised and opens the project named on the command
    // line (or the autosave project) after the start-up delay.
    void start(int openDelayMs = 400);
    Teardown teardown();

    MainWindow* window() const { return m_window; }
    Controller* controller() const { return m_controller; }
    Model* model() const { return m_model; }
    EMFilmSettings* gradingTab() const { return m_grading; }
    LookExporter* lookExporter() const { return m_lookExporter; }
    QThread* modelThread() { return &m_modelThread; }

private:
    void wireRenderTab();
    void wireMediaTab();
    void wireSequenceStrip();
    void wireLookExport(SettingsPanelHeaderWidget* header);
    void wirePresetsDialog(PresetsListDialog* dialog);
    void wirePresetUpdates(EMPresetsWidget* presets);

    QThread m_modelThread;
    Model* m_model = nullptr;
    MainWindow* m_window = nullptr;
    EMFilmSettings* m_grading = nullptr;
    LookExporter* m_lookExporter = nullptr;
    Controller* m_controller = nullptr;
    bool m_tornDown = false;
};

} // namespace Emulsa
