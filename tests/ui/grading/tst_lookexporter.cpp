#include "common/TestEnvironment.h"

#include "core/LookCube.h"
#include "ui/grading/EMFilmSettings.h"
#include "ui/grading/LookExporter.h"
#include "ui/grading/SettingsPanel.h"
#include "ui/grading/SettingsPanelHeaderWidget.h"
#include "ui/shell/ApplicationAssembly.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <memory>

using namespace Emulsa;

// "EXPORT LUT" in the assembled program: the grade the tab shows, baked on a
// worker thread into the file the user chose.
class TestLookExporter : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ApplicationAssembly> m_app;
    QString m_folder;
    QStringList m_suggested;
    QString m_answer;

    SettingsPanelHeaderWidget* header() const { return m_app->gradingTab()->panel()->header(); }
    void choose(int menuEntry)
    {
        auto* button = header()->findChild<QPushButton*>(QStringLiteral("exportLutButton"));
        QVERIFY(button && button->menu());
        button->menu()->actions().at(menuEntry)->trigger();
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(Test::useBuildFilmData(&why), qPrintable(why));
    }

    void init()
    {
        m_app = std::make_unique<ApplicationAssembly>(false);
        m_folder = Test::makeTempFolder(QStringLiteral("looks"));
        m_suggested.clear();
        m_app->lookExporter()->setFileChooser([this](const QString& suggested) {
            m_suggested << suggested;
            return m_answer;
        });
    }

    void cleanup() { m_app.reset(); }

    void exportsTheShownGrade()
    {
        // An edit in the panel is part of the exported look.
        auto* exposure = m_app->gradingTab()->panel()->findChild<QSlider*>(QStringLiteral("expAmount"));
        QVERIFY(exposure);
        exposure->setValue(3000);
        const ClipSettings shown = m_app->gradingTab()->shownSettings();
        QCOMPARE(shown.getExposure(), 0.3f);

        // A name without an ending gets ".cube".
        m_answer = m_folder + QStringLiteral("/warm");
        QSignalSpy exported(m_app->lookExporter(), &LookExporter::exported);
        choose(0);
        QVERIFY(exported.wait(20000));
        const QString path = m_folder + QStringLiteral("/warm.cube");
        QCOMPARE(exported.first().first().toString(), path);
        QCOMPARE(m_suggested.size(), 1);
        QVERIFY2(
            m_suggested.first().endsWith(QLatin1String("/KD 5207 Vis3 look.cube")), qPrintable(m_suggested.first()));
        QVERIFY(header()->note()->text().contains(QLatin1String("warm.cube")));
        QVERIFY(header()->note()->toolTip().contains(m_folder));

        LookCube expected;
        QString error;
        QVERIFY(LookCube::bake(shown, 33, QStringLiteral("KD 5207 Vis3 look"), &expected, &error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), expected.text());

        // The next export starts where the last one went, at 65 points.
        m_answer = m_folder + QStringLiteral("/fine.cube");
        choose(1);
        QVERIFY(exported.wait(60000));
        QCOMPARE(m_suggested.size(), 2);
        QVERIFY2(m_suggested.last().startsWith(m_folder + QLatin1Char('/')), qPrintable(m_suggested.last()));
        QFile fine(m_answer);
        QVERIFY(fine.open(QIODevice::ReadOnly));
        QVERIFY(fine.readAll().contains("\nLUT_3D_SIZE 65\n"));
    }

    void cancelledOrUnwritableExportsWriteNothing()
    {
        QSignalSpy exported(m_app->lookExporter(), &LookExporter::exported);
        QSignalSpy failed(m_app->lookExporter(), &LookExporter::failed);
        m_answer.clear();
        choose(0);
        QCOMPARE(m_suggested.size(), 1);
        QVERIFY(!m_app->lookExporter()->isBusy());

        m_answer = m_folder + QStringLiteral("/missing/look.cube");
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Can't write .*look.cube")));
        choose(0);
        QVERIFY(failed.wait(20000));
        QVERIFY(header()->note()->text().isEmpty());
        QCOMPARE(exported.size(), 0);
        QCOMPARE(QDir(m_folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
};

EMULSA_TEST_MAIN(TestLookExporter)
#include "tst_lookexporter.moc"
