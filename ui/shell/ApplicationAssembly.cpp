#include "ui/shell/ApplicationAssembly.h"

#include "app/Controller.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "model/HardwareDecodingSetting.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/grading/LookExporter.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/grading/SettingsPanelHeaderWidget.h"
#include "ui/media/EMFileExplorer.h"
#include "ui/media/EMSequenceWidget.h"
#include "ui/media/EMShotListWidget.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/EMPresetsWidget.h"
#include "ui/presets/PresetsListDialog.h"
#include "ui/preview/OpenGLPreview.h"
#include "ui/render/EMRenderList.h"
#include "ui/render/EMRenderer.h"
#include "ui/shell/MainWindow.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

namespace Emulsa {

ApplicationAssembly::ApplicationAssembly(bool withPreview)
{
    // Before any clip is opened.
    HardwareDecodingSetting::apply();
    m_modelThread.setObjectName(QStringLiteral("Model"));
    m_model = new Model;
    m_model->moveToThread(&m_modelThread);
    m_modelThread.start(QThread::InheritPriority);

    m_window = new MainWindow;
    m_controller = new Controller;

    registerClipSettingsMetaTypes();
    AssetMetadata::registerMetaType();
    SequenceItem::registerMetaType();
    Model::registerMetaTypes();

    m_controller->setModel(m_model);
    m_controller->startTaskManager();
    m_window->setController(m_controller);

    m_grading = new EMFilmSettings(withPreview);
    m_window->setTabContent(MainWindow::GradingTab, m_grading);
    m_grading->setController(m_controller);
    SettingsPanelHeaderWidget* header = m_grading->panel()->header();
    QObject::connect(
        header, &SettingsPanelHeaderWidget::resetAllSettings, m_controller, &Controller::resetAllSettingsFromUI);
    QObject::connect(
        header, &SettingsPanelHeaderWidget::saveCurrentSettings, m_window, &MainWindow::saveCurrentSetingsAsPreset);
    m_window->setHeaderBar(header);
    wireLookExport(header);

    wireRenderTab();
    wireMediaTab();
    wireSequenceStrip();
}

// "EXPORT LUT" bakes the grade the tab shows; the header says where it went.
void ApplicationAssembly::wireLookExport(SettingsPanelHeaderWidget* header)
{
    m_lookExporter = new LookExporter(m_window);
    EMFilmSettings* grading = m_grading;
    LookExporter* exporter = m_lookExporter;
    QObject::connect(header, &SettingsPanelHeaderWidget::exportLook, exporter, [grading, exporter](int size) {
        const ClipSettings& grade = grading->shownSettings();
        const QString title
            = QStringLiteral("%1 look").arg(FilmLibrary::instance()->displayNameForCode(grade.getStockName()));
        exporter->exportLook(grade, size, title);
    });
    QObject::connect(exporter, &LookExporter::exported, header, [header](const QString& path) {
        header->showNote(QStringLiteral("LUT written: %1").arg(QFileInfo(path).fileName()),
            QStringLiteral("LUT written: %1").arg(QDir::toNativeSeparators(path)));
    });
    QObject::connect(exporter, &LookExporter::failed, header, [header](const QString& message) {
        header->showNote(QString());
        qCritical().noquote() << message;
    });
}

void ApplicationAssembly::wireMediaTab()
{
    auto* media = new EMFileExplorer;
    m_window->setTabContent(MainWindow::MediaTab, media);
    EMShotListWidget* shots = media->shotList();
    Controller* c = m_controller;
    QObject::connect(shots, &EMShotListWidget::shotDropInsideShotList, c, &Controller::shotToBeAddedToShotList);
    QObject::connect(shots, &EMShotListWidget::shotSelectedForDeletion, c, &Controller::shotToBeDeletedFromShotList);
    QObject::connect(shots, &EMShotListWidget::notifyGroupOfCommands, c, &Controller::groupOfCommandsTriggered);
    QObject::connect(c, &Controller::sequenceItemListShouldRefresh, shots, &EMShotListWidget::shotListChanged);
    QObject::connect(c, &Controller::sequenceItemShouldBeRestored, shots, &EMShotListWidget::shotRestored);
    QObject::connect(c, &Controller::listShouldReset, shots, &EMShotListWidget::fullReset);
    QObject::connect(c, &Controller::sequenceItemShouldRefreshUnreadFields, shots,
        &EMShotListWidget::sequenceItemNeedUnreadFieldsRefresh);
}

void ApplicationAssembly::wireSequenceStrip()
{
    auto* strip = new EMSequenceWidget;
    strip->setMaximumHeight(120);
    m_grading->addStrip(strip->makeHeading(m_grading));
    m_grading->addStrip(strip);
    Controller* c = m_controller;
    QObject::connect(strip, &EMSequenceWidget::shotSelectedForPlayback, c, &Controller::shotToBeSelectedForPlayback);
    QObject::connect(c, &Controller::sequenceItemListShouldRefresh, strip, &EMSequenceWidget::shotListChanged);
    QObject::connect(c, &Controller::sequenceItemShouldBeRestored, strip, &EMSequenceWidget::shotRestored);
    QObject::connect(c, &Controller::listShouldReset, strip, &EMSequenceWidget::fullReset);
    QObject::connect(c, &Controller::currentShouldRefresh, strip, &EMSequenceWidget::currentItemChangedFromModel);
    QObject::connect(c, &Controller::startingPointShouldRefresh, strip, &EMSequenceWidget::changeCurrentStartingPoint);
    QObject::connect(c, &Controller::endingPointShouldRefresh, strip, &EMSequenceWidget::changeCurrentEndingPoint);
    QObject::connect(
        c, &Controller::sequenceItemShouldRefreshPreset, strip, &EMSequenceWidget::sequenceItemNeedPresetRefresh);
    QObject::connect(c, &Controller::sequenceItemShouldRefreshUnreadFields, strip,
        &EMSequenceWidget::sequenceItemNeedUnreadFieldsRefresh);

    // The presets strip under it: a click applies the preset to the clips
    // selected in the sequence strip.
    auto* presets = new EMPresetsWidget;
    // Room for one whole preset row (92 px) under the group chooser.
    presets->presetsList()->setMinimumHeight(96);
    presets->setMaximumHeight(220);
    m_grading->addStrip(presets);
    QObject::connect(presets, &EMPresetsWidget::needPresetGroupsList, c, &Controller::presetGroupsNeeded);
    QObject::connect(presets, &EMPresetsWidget::needPresetsListFromGroup, c, &Controller::presetsListNeededForGroup);
    QObject::connect(presets, &EMPresetsWidget::needPresetsListFromGroupForWidget, c,
        &Controller::presetsListNeededForGroupByWidget);
    QObject::connect(presets, &EMPresetsWidget::presetSelectedForDeletion, c, &Controller::presetDeletedFromUI);
    QObject::connect(presets, &EMPresetsWidget::newPresetToBeApplied, c,
        [c, strip](const QByteArray& presetId) { c->newPresetAppliedFromUI(presetId, strip->getSelectionList()); });
    QObject::connect(c, &Controller::presetsGroupShouldRefresh, presets, &EMPresetsWidget::presetGroupsListsReady);
    QObject::connect(c, &Controller::presetsListShouldRefresh, presets, &EMPresetsWidget::presetsListReady);
    QObject::connect(c, &Controller::presetsListShouldRefreshForWidget, presets, &EMPresetsWidget::presetsListReady);
    QObject::connect(c, &Controller::presetShouldBeRemoved, presets, &EMPresetsWidget::presetRemovedFromModel);
    QObject::connect(c, &Controller::presetShouldBeRenamed, presets, &EMPresetsWidget::presetRenamedFromModel);
    QObject::connect(c, &Controller::presetGroupShouldBeAdded, presets, &EMPresetsWidget::presetGroupCreatedFromModel);
    QObject::connect(
        c, &Controller::presetGroupShouldBeRemoved, presets, &EMPresetsWidget::presetGroupRemovedFromModel);
    QObject::connect(
        c, &Controller::presetGroupShouldBeRenamed, presets, &EMPresetsWidget::presetGroupRenamedFromModel);
    QObject::connect(
        c, &Controller::currentPresetsGroupDisplayedShouldUpdate, presets, &EMPresetsWidget::updateCurrentGroup);
    wirePresetsDialog(presets->presetsDialog());
    wirePresetUpdates(presets);
    // "SAVE AS PRESET" saves into the group the strip shows.
    m_window->setPresetGroupSource([presets] { return presets->currentGroupId(); });
    // The strip fills itself from the answer: the groups, then the presets
    // of the group it showed last.
    m_controller->presetGroupsNeeded();

    // A new preset's thumbnail: the preview's last graded picture, read back
    // bottom row first, stored upright; the strip redraws with it.
    if (OpenGLPreview* preview = m_grading->preview()) {
        QObject::connect(preview, &OpenGLPreview::frameForThumbnail, presets,
            [presets](const QByteArray& presetId, const QImage& image) {
                if (image.isNull()) {
                    qWarning() << "No graded picture yet for the thumbnail of preset" << presetId;
                    return;
                }
                PresetsManager::instance()->setNewThumbnailForId(image, presetId, true);
                presets->presetsList()->viewport()->update();
                presets->presetsDialog()->managerList()->viewport()->update();
            });
    }
}

void ApplicationAssembly::wirePresetsDialog(PresetsListDialog* dialog)
{
    Controller* c = m_controller;
    QObject::connect(dialog, &PresetsListDialog::needPresetGroupsList, c, &Controller::presetGroupsNeededByDialog);
    QObject::connect(
        dialog, &PresetsListDialog::needPresetsListFromGroup, c, &Controller::presetsListNeededForGroupByDialog);
    QObject::connect(dialog, &PresetsListDialog::groupCreated, c, &Controller::newPresetGroupFromUI);
    QObject::connect(dialog, &PresetsListDialog::groupRenamed, c, &Controller::presetGroupRenamedFromUI);
    QObject::connect(dialog, &PresetsListDialog::exportPresetGroup, c, &Controller::exportPresetGroupFromUI);
    QObject::connect(dialog, &PresetsListDialog::importPresetGroup, c, &Controller::importPresetGroupFromUI);
    QObject::connect(dialog, &PresetsListDialog::needToMovePresets, c, &Controller::presetsMovedFromUI);
    QObject::connect(dialog, &PresetsListDialog::needToCopyPresets, c, &Controller::presetsCopiedFromUI);
    QObject::connect(dialog, &PresetsListDialog::undoTriggered, c, &Controller::undoTriggered);
    QObject::connect(dialog, &PresetsListDialog::redoTriggered, c, &Controller::redoTriggered);
    EMPresetsManagerList* table = dialog->managerList();
    QObject::connect(table, &EMPresetsManagerList::presetSelectedForDeletion, c, &Controller::presetDeletedFromUI);
    QObject::connect(table, &EMPresetsManagerList::presetNameEdited, c, &Controller::presetNameEditedFromUI);
    QObject::connect(
        c, &Controller::presetsGroupShouldRefreshForDialog, dialog, &PresetsListDialog::presetGroupsListsReady);
    QObject::connect(
        c, &Controller::presetsListShouldRefreshForDialog, dialog, &PresetsListDialog::presetsListReadyAndShow);
    QObject::connect(c, &Controller::presetsListShouldRefresh, dialog, &PresetsListDialog::presetsListReady);
    QObject::connect(c, &Controller::presetGroupShouldBeAdded, dialog, &PresetsListDialog::presetGroupCreatedFromModel);
    QObject::connect(
        c, &Controller::presetGroupShouldBeRemoved, dialog, &PresetsListDialog::presetGroupRemovedFromModel);
    QObject::connect(
        c, &Controller::presetGroupShouldBeRenamed, dialog, &PresetsListDialog::presetGroupRenamedFromModel);
    QObject::connect(
        c, &Controller::presetGroupSelectionShouldChange, dialog, &PresetsListDialog::presetGroupSelectedFromModel);
    QObject::connect(
        c, &Controller::currentPresetsGroupDisplayedShouldUpdate, dialog, &PresetsListDialog::updateCurrentGroup);
    QObject::connect(c, &Controller::presetShouldBeRemoved, table, &EMPresetsManagerList::presetRemovedFromModel);
    QObject::connect(c, &Controller::presetShouldBeRenamed, table, &EMPresetsManagerList::presetRenamedFromModel);
}

// "Update with Current Grade" in the strip's and the manager's menus, enabled
// while a clip is current.
void ApplicationAssembly::wirePresetUpdates(EMPresetsWidget* presets)
{
    Controller* c = m_controller;
    EMPresetsList* list = presets->presetsList();
    EMPresetsManagerList* table = presets->presetsDialog()->managerList();
    QObject::connect(list, &EMPresetsList::presetUpdateRequested, c, &Controller::presetGradeUpdatedFromUI);
    QObject::connect(table, &EMPresetsManagerList::presetUpdateRequested, c, &Controller::presetGradeUpdatedFromUI);
    QObject::connect(c, &Controller::currentShouldRefresh, list, [list, table](SequenceItem* current) {
        list->setCurrentClipAvailable(current != nullptr);
        table->setCurrentClipAvailable(current != nullptr);
    });
}

void ApplicationAssembly::wireRenderTab()
{
    auto* render = new EMRenderer;
    m_window->setTabContent(MainWindow::RenderTab, render);
    // The list of ids is read during the emission: a direct call.
    QObject::connect(render, &EMRenderer::getSequenceItemsFromUuids, m_controller,
        &Controller::rendererNeedSequenceItemsFromUuids, Qt::DirectConnection);
    QObject::connect(
        m_controller, &Controller::rendererShouldStartRendering, render, &EMRenderer::itemsReadyToBeRendered);
    EMRenderList* list = render->renderList();
    QObject::connect(m_controller, &Controller::sequenceItemListShouldRefresh, list, &EMRenderList::shotListChanged);
    QObject::connect(m_controller, &Controller::sequenceItemShouldBeRestored, list, &EMRenderList::shotRestored);
    QObject::connect(m_controller, &Controller::listShouldReset, list, &EMRenderList::fullReset);
    QObject::connect(m_controller, &Controller::startingPointShouldRefresh, list, &EMRenderList::startingPointUpdated);
    QObject::connect(m_controller, &Controller::endingPointShouldRefresh, list, &EMRenderList::endingPointUpdated);
    // Nothing may change the sequence under a running render.
    QObject::connect(render, &EMRenderer::renderingStateChanged, m_window, &MainWindow::setRenderingLock);
}

ApplicationAssembly::~ApplicationAssembly()
{
    teardown();
}

void ApplicationAssembly::start(int openDelayMs)
{
    // Without the media browser the grading tab comes first.
    if (!m_window->tabContent(MainWindow::MediaTab))
        m_window->tabs()->setCurrentIndex(MainWindow::GradingTab);
    // The whole screen also where no window manager maximises.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        m_window->setGeometry(screen->availableGeometry());
    m_window->showMaximized();
    QTimer::singleShot(openDelayMs, m_window, qOverload<>(&MainWindow::readSelectedProjectFile));
}

ApplicationAssembly::Teardown ApplicationAssembly::teardown()
{
    Teardown result;
    if (m_tornDown) {
        result.taskThreadFinished = true;
        result.modelThreadFinished = m_modelThread.isFinished();
        return result;
    }
    m_tornDown = true;
    qDebug() << "After Qt main loop";
    delete m_window;
    m_window = nullptr;
    m_grading = nullptr;
    qDebug() << "After deletion of MainWindow";

    m_controller->stopTaskManager();
    result.taskThreadFinished = !m_controller->isTaskThreadRunning();
    delete m_controller;
    m_controller = nullptr;
    qDebug() << "After deletion of Controller";

    // The model's thread ends before the model goes.
    m_modelThread.quit();
    m_modelThread.wait();
    result.modelThreadFinished = m_modelThread.isFinished();
    delete m_model;
    m_model = nullptr;
    qDebug() << "After deletion of Model";
    return result;
}

} // namespace Emulsa
