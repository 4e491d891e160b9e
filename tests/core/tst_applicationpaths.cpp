#include "common/TestEnvironment.h"

#include "core/ApplicationPaths.h"

#include <QDir>
#include <QStandardPaths>

using Emulsa::ApplicationPaths;

class ApplicationPathsTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }

    void dataRootFromProgramData()
    {
        qputenv("PROGRAMDATA", "C:\\ProgramData");
        ApplicationPaths* paths = ApplicationPaths::instance();
        paths->clearCache();
        QCOMPARE(paths->dataRootPath(), QStringLiteral("C:/ProgramData/Quillmoor/"));
        QCOMPARE(paths->resourcesPath(), QStringLiteral("C:/ProgramData/Quillmoor/Resources/"));

        // Cached: a later change of the variable is not seen until cleared.
        qputenv("PROGRAMDATA", "/srv/data");
        QCOMPARE(paths->dataRootPath(), QStringLiteral("C:/ProgramData/Quillmoor/"));
        paths->clearCache();
        QCOMPARE(paths->dataRootPath(), QStringLiteral("/srv/data/Quillmoor/"));
    }

    void dataRootBesideExecutableWithoutProgramData_data()
    {
        QTest::addColumn<bool>("setEmpty");
        QTest::newRow("unset") << false;
        QTest::newRow("empty") << true;
    }

    void dataRootBesideExecutableWithoutProgramData()
    {
        QFETCH(bool, setEmpty);
        if (setEmpty)
            qputenv("PROGRAMDATA", "");
        else
            qunsetenv("PROGRAMDATA");
        const QString expected
            = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/Quillmoor"))
            + QLatin1Char('/');
        QCOMPARE(ApplicationPaths::computeDataRootPath(), expected);
        QVERIFY(!expected.contains(QLatin1String("..")));
        QCOMPARE(ApplicationPaths::instance()->resourcesPath(), expected + QStringLiteral("Resources/"));
    }

    void userPathsFollowDataLocation()
    {
        const QString data = QStandardPaths::standardLocations(QStandardPaths::DataLocation).first();
        ApplicationPaths* paths = ApplicationPaths::instance();
        QCOMPARE(paths->presetsPath(), data + QStringLiteral("/presets/"));
        QCOMPARE(paths->autosaveFilePath(), data + QStringLiteral("/autosave.empf"));
        // Isolated by the test environment, never the real user's folder.
        QVERIFY2(data.contains(QLatin1String("emulsa-test-")), qPrintable(data));
    }
};

EMULSA_TEST_MAIN(ApplicationPathsTest)
#include "tst_applicationpaths.moc"
