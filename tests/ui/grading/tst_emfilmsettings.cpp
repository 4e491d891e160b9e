#include "app/Controller.h"
#include "common/TestEnvironment.h"
#include "media/clip/SequenceItem.h"
#include "model/GradeTasks.h"
#include "model/Model.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/preview/PositionSlider.h"

#include <QAbstractButton>
#include <QApplication>
#include <QtTest/QtTest>

#include <memory>

using namespace Emulsa;

// The grading tab's wiring: the panel's edits become commands, the model's
// values are shown without posting any.
class EMFilmSettingsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Model> m_model;
    std::unique_ptr<Controller> m_controller;
    std::unique_ptr<EMFilmSettings> m_tab;

    QList<quint32> postedTypes()
    {
        QList<quint32> types;
        const QList<BaseTask*> tasks = m_controller->takeQueuedTasks();
        for (BaseTask* task : tasks)
            types.append(task->type);
        qDeleteAll(tasks);
        return types;
    }

private slots:
    void init()
    {
        m_model = std::make_unique<Model>();
        m_controller = std::make_unique<Controller>();
        m_controller->setModel(m_model.get());
        m_tab = std::make_unique<EMFilmSettings>(false);
        m_tab->setController(m_controller.get());
    }

    void cleanup()
    {
        m_tab.reset();
        m_controller.reset();
        m_model.reset();
    }

    void panelEditsBecomeCommands()
    {
        SettingsPanel* panel = m_tab->panel();
        emit panel->groupOfCommand(true);
        emit panel->gradeValueAboutToChange(GradeField::Exposure);
        emit panel->gradeValueChanged(GradeField::Exposure, 1.25f);
        emit panel->groupOfCommand(false);
        emit panel->stockTypeComboValueChanged(QStringLiteral("5219"));
        emit panel->gradeValueAboutToChange(GradeField::Levels);
        m_tab->showOriginalButton()->toggle();
        emit m_tab->positionSlider()->startingHandleMoved(4);
        emit m_tab->positionSlider()->endingHandleMoved(40);
        QCOMPARE(postedTypes(),
            (QList<quint32> { GroupBegin, ExposureAboutToChange, SetExposure, GroupEnd, SetStock,
                HistogramAboutToChange, SetShowOriginal, SetStartPoint, SetEndPoint }));
        // The tab's own copy follows the edit at once.
        QCOMPARE(m_tab->shownSettings().getExposure(), 1.25f);
    }

    void modelValuesAreShownWithoutCommands()
    {
        ClipSettings settings;
        settings.setExposure(-1.0f);
        settings.setGrainAmount(30);
        emit m_controller->viewShouldUpdate(settings);
        QCOMPARE(m_tab->shownSettings().getExposure(), -1.0f);
        emit m_controller->gradeFieldShouldRefresh(GradeField::Exposure, 2.5f);
        emit m_controller->gradeFieldShouldRefresh(GradeField::GrainAmount, 12);
        emit m_controller->showOriginalShouldRefresh(true);
        ColorWheelData wheel;
        wheel.radius = 0.5;
        emit m_controller->gradeFieldShouldRefresh(GradeField::MidWheel, wheel);
        QCOMPARE(m_tab->shownSettings().getExposure(), 2.5f);
        QCOMPARE(m_tab->shownSettings().getGrainAmount(), 12);
        QCOMPARE(m_tab->shownSettings().getMid().radius, 0.5);
        QVERIFY(m_tab->showOriginalButton()->isChecked());
        QCOMPARE(postedTypes(), QList<quint32>());
    }

    // Points of the current item move the slider's handles; points of
    // another item do not.
    void pointsOfTheCurrentItem()
    {
        ClipSettings* settings = new ClipSettings;
        SequenceItem item(nullptr, settings, 2, 50);
        emit m_controller->currentShouldRefresh(&item);
        QCOMPARE(m_tab->positionSlider()->start(), 2u);
        QCOMPARE(m_tab->positionSlider()->end(), 50u);
        emit m_controller->startingPointShouldRefresh(item.uuid, 7);
        emit m_controller->endingPointShouldRefresh(QUuid::createUuid(), 9);
        QCOMPARE(m_tab->positionSlider()->start(), 7u);
        QCOMPARE(m_tab->positionSlider()->end(), 50u);
        emit m_controller->currentPositionChanged(11);
        QCOMPARE(m_tab->positionSlider()->value(), 11);
        QCOMPARE(postedTypes(), QList<quint32>());
        emit m_controller->currentShouldRefresh(nullptr);
        delete settings;
    }
};

EMULSA_TEST_MAIN(EMFilmSettingsTest)
#include "tst_emfilmsettings.moc"
