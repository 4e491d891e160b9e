#pragma once

#include "common/TestEnvironment.h"

#include "app/Controller.h"
#include "app/FileManager.h"
#include "app/MessageLog.h"
#include "app/ProjectSession.h"
#include "common/TestMedia.h"
#include "core/ApplicationPaths.h"
#include "core/ClipSettings.h"
#include "model/Model.h"
#include "model/PresetsManager.h"
#include "model/SettingsManager.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/media/ClipItemRoles.h"
#include "ui/media/EMSequenceWidget.h"
#include "ui/media/EMShotListWidget.h"
#include "ui/presets/EMPresetsList.h"
#include "ui/presets/EMPresetsManagerList.h"
#include "ui/presets/EMPresetsWidget.h"
#include "ui/presets/PresetsListDialog.h"
#include "ui/shell/ApplicationAssembly.h"
#include "ui/shell/LoadingOverlay.h"
#include "ui/shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QUuid>
#include <QtTest/QtTest>

#include <functional>
#include <memory>

namespace Emulsa::Test {

// A project file with the clip twice, the first one current; the items get
// the ids given (fresh ones without) and the second item's Kelvin text is
// `secondKelvin`.
inline QByteArray projectWithClip(
    const QString& path, const QStringList& itemIds = {}, const QString& secondKelvin = QStringLiteral("6500.000000"))
{
    const QByteArray id = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5).toHex();
    const char* grade
        = "<ClipSettings><StockName>5207</StockName><ProfileID>825250895</ProfileID>"
          "<CameraModel>Other Generic</CameraModel><CameraID>GEN0</CameraID><StockAmount>0</StockAmount>"
          "<CurveAmount>0</CurveAmount><GrainAmount>0</GrainAmount><GrainScale>35 mm Full Frame</GrainScale>"
          "<Exposure>0.000000</Exposure><Kelvin>6500.000000</Kelvin><ColorWheels>"
          "<Low><Radius>0.000000</Radius><Theta>0.000000</Theta></Low>"
          "<Mid><Radius>0.000000</Radius><Theta>0.000000</Theta></Mid>"
          "<High><Radius>0.000000</Radius><Theta>0.000000</Theta></High></ColorWheels>"
          "<Lift>1.000000</Lift><Gamma>1.000000</Gamma><Gain>1.000000</Gain><Saturation>1.000000</Saturation>"
          "<Histogram><Black>0.000000</Black><Mid>0.500000</Mid><White>1.000000</White></Histogram>"
          "<Original>0</Original></ClipSettings>";
    QByteArray items;
    for (int i = 0; i < 2; ++i) {
        items
            += QStringLiteral("<SequenceItem position=\"%1\"><AssetUUID>%2</AssetUUID><AssetPath>%3</AssetPath>"
                              "<SequenceUUID>%4</SequenceUUID><StartFrame>0</StartFrame><EndFrame>10</EndFrame>"
                              "<Current>%5</Current><PresetUUID></PresetUUID>%6</SequenceItem>\n")
                   .arg(i)
                   .arg(QString::fromLatin1(id), path.toHtmlEscaped(), itemIds.value(i, QUuid::createUuid().toString()))
                   .arg(i == 0 ? 1 : 0)
                   .arg(QString::fromLatin1(grade).replace(QStringLiteral("<Kelvin>6500.000000</Kelvin>"),
                       QStringLiteral("<Kelvin>%1</Kelvin>").arg(i == 1 ? secondKelvin : "6500.000000")))
                   .toUtf8();
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Project><General><FileVersion>1.0</FileVersion>"
           "<StandaloneVersion>1.02.30</StandaloneVersion><HostOS>Linux</HostOS></General>"
           "<SequenceItems timeline=\"0\" total-items=\"2\">"
        + items + "</SequenceItems></Project>\n";
}

inline QAction* findAction(QMainWindow* window, const QString& text)
{
    for (QAction* menu : window->menuBar()->actions())
        for (QAction* action : menu->menu()->actions())
            if (action->text() == text)
                return action;
    return nullptr;
}

inline QMenu* menuNamed(QMainWindow* window, const QString& title)
{
    for (QAction* menu : window->menuBar()->actions())
        if (menu->text() == title)
            return menu->menu();
    return nullptr;
}

// The unread grade fields a row of the sequence strip shows, once its
// tooltip says the same (the mark and the tooltip change together).
inline QStringList unreadFieldsShown(const EMSequenceWidget* strip, const QString& itemId)
{
    const QListWidgetItem* row = strip->rowForItem(itemId.toLatin1());
    if (!row)
        return { QStringLiteral("<no row>") };
    const QStringList fields = row->data(UnreadFieldsRole).toStringList();
    const bool warned = row->toolTip().contains(QStringLiteral("default values are used"));
    const bool named = fields.isEmpty() || row->toolTip().contains(fields.join(QStringLiteral(", ")));
    if (warned == fields.isEmpty() || !named)
        return { QStringLiteral("<tooltip: %1>").arg(row->toolTip()) };
    // The media tab's shot list marks the same clip the same way.
    const auto* shots = strip->window()->findChild<const EMShotListWidget*>();
    if (!shots)
        return { QStringLiteral("<no shot list>") };
    for (int i = 0; i < shots->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* shot = shots->topLevelItem(i);
        if (shot->data(0, ItemIdRole).toByteArray() != itemId.toLatin1())
            continue;
        if (shot->data(0, UnreadFieldsRole).toStringList() != fields
            || shot->toolTip(0).contains(QStringLiteral("default values are used")) == fields.isEmpty())
            return { QStringLiteral("<media tab: %1>").arg(shot->toolTip(0)) };
        return fields;
    }
    return { QStringLiteral("<no shot>") };
}

// The assembled application for the window tests, made afresh for each test:
// its window asks the test for files and for the answer to the unsaved-changes
// question; helpers write projects and presets whose grade cannot be read
// whole, and read the warnings the window shows for them.
class MainWindowFixture : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<ApplicationAssembly> m_app;
    QString m_folder;
    QString m_chosen;
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;
    int m_questions = 0;

    MainWindow* window() { return m_app->window(); }

    // A new application whose window asks the test for files and answers.
    void startApp()
    {
        m_app = std::make_unique<ApplicationAssembly>(false);
        window()->project()->setAutosavePath(m_folder + "/autosave.empf");
        window()->prompts().projectFile = [this](bool) { return m_chosen; };
        window()->prompts().unsavedChanges = [this] {
            ++m_questions;
            return m_answer;
        };
    }
    EMSequenceWidget* strip() { return window()->findChild<EMSequenceWidget*>(); }

    // Writes a project whose second item's Kelvin cannot be read; the ids of
    // its two items in *ids.
    QString damagedProject(QStringList* ids)
    {
        *ids = QStringList { QUuid::createUuid().toString(), QUuid::createUuid().toString() };
        const QString path = m_folder + "/damaged.empf";
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(projectWithClip(Test::TestMedia::instance().path(Test::TestMedia::NoAudio), *ids, "x300"));
        return path;
    }

    // Opens a project whose loading reports the damaged grade.
    bool openDamaged(const QString& path)
    {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Part of the project .* Kelvin")));
        return window()->readSelectedProjectFile(path);
    }

    // A group of one preset whose Kelvin cannot be read back (the whole
    // grade loads with defaults), written to disk and loaded; its id (empty on failure) and file.
    // The application must be down.
    QByteArray writeDamagedPreset(const QString& groupName, QString* file)
    {
        PresetsManager* store = PresetsManager::instance();
        const int group = store->createNewGroup(groupName).id;
        ClipSettings grade;
        grade.setSaturation(0.5f);
        const QByteArray id = store->createPreset(grade, group)->id();
        if (!store->writePresetsToDisk())
            return QByteArray();
        *file = store->presetsFolder() + store->groupFileNames().value(group);
        QByteArray text = fileBytes(*file);
        const QByteArray kelvinElement
            = QStringLiteral("<Kelvin>%1</Kelvin>").arg(grade.getKelvin(), 0, 'f', 6).toUtf8();
        if (text.count(kelvinElement) != 1)
            return QByteArray();
        text.replace(kelvinElement, "<Kelvin>x300.000000</Kelvin>");
        QFile out(*file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size())
            return QByteArray();
        out.close();
        store->loadPresets();
        return store->findPreset(id) ? id : QByteArray();
    }

    // Shows the group in the presets strip and the manager and waits until
    // both list the preset (fails the test otherwise).
    void showGroup(const QString& groupName, const QByteArray& presetId)
    {
        auto* presets = window()->findChild<EMPresetsWidget*>();
        QVERIFY(presets);
        PresetsListDialog* dialog = presets->presetsDialog();
        m_app->controller()->presetGroupsNeededByDialog();
        QTRY_VERIFY_WITH_TIMEOUT(presets->groupCombo()->findText(groupName) >= 0, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->groupCombo()->findText(groupName) >= 0, 5000);
        presets->groupCombo()->setCurrentIndex(presets->groupCombo()->findText(groupName));
        dialog->groupCombo()->setCurrentIndex(dialog->groupCombo()->findText(groupName));
        QTRY_VERIFY_WITH_TIMEOUT(presets->presetsList()->rowForPreset(presetId), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->managerList()->rowForPreset(presetId), 5000);
    }

    // The unread fields the preset's rows in the strip and in the manager
    // show, when their marks and tooltips agree.
    QStringList presetWarningShown(const QByteArray& presetId)
    {
        auto* presets = window()->findChild<EMPresetsWidget*>();
        const QListWidgetItem* row = presets->presetsList()->rowForPreset(presetId);
        const QTreeWidgetItem* line = presets->presetsDialog()->managerList()->rowForPreset(presetId);
        if (!row || !line)
            return { QStringLiteral("<no row>") };
        const QStringList fields = row->data(UnreadFieldsRole).toStringList();
        const QString named = fields.isEmpty() ? QString() : QStringLiteral("(%1)").arg(fields.join(", "));
        if (line->data(EMPresetsManagerList::NameColumn, UnreadFieldsRole).toStringList() != fields
            || line->icon(EMPresetsManagerList::NameColumn).isNull() != fields.isEmpty()
            || row->toolTip().isEmpty() != fields.isEmpty() || !row->toolTip().contains(named)
            || !line->toolTip(EMPresetsManagerList::NameColumn).contains(named))
            return { QStringLiteral("<marks disagree: %1>").arg(row->toolTip()) };
        return fields;
    }

private slots:
    void init()
    {
        m_folder = Test::makeTempFolder(QStringLiteral("mainwindow"));
        startApp();
        m_chosen.clear();
        m_answer = QMessageBox::Yes;
        m_questions = 0;
    }

    void cleanup()
    {
        const ApplicationAssembly::Teardown down = m_app->teardown();
        QVERIFY(down.taskThreadFinished);
        QVERIFY(down.modelThreadFinished);
        m_app.reset();
        setFileManagerHandler({});
    }
};

} // namespace Emulsa::Test
