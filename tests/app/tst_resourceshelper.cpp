#include "common/TestEnvironment.h"

#include "app/ResourcesHelper.h"
#include "app/StartupChecks.h"
#include "core/ApplicationPaths.h"

#include <QDir>
#include <QFile>
#include <QProcess>

using Emulsa::ApplicationPaths;
using Emulsa::ResourcesHelper;

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A data folder holding the example set and, optionally, the placeholders.
QString makeDataRoot(const QString& name, bool withPlaceholders, int skipThumbnail = -1)
{
    const QString root = Emulsa::Test::makeTempFolder(name);
    const QString presets = root + QStringLiteral("/Quillmoor/Resources/standalone/presets/");
    writeFile(presets + QLatin1String(ResourcesHelper::kExampleGroupFile), "installed group");
    for (int i = 0; i < 8; ++i) {
        if (i != skipThumbnail)
            writeFile(presets + QLatin1String(ResourcesHelper::kExampleThumbnails[i]), "installed thumb");
    }
    if (withPlaceholders) {
        writeFile(root + QStringLiteral("/Quillmoor/Resources/placeholderEM.bin"), "em");
        writeFile(root + QStringLiteral("/Quillmoor/Resources/placeholderIF.bin"), "if");
    }
    return root;
}

// The built program; the test fails when it is missing.
QString program()
{
    return qEnvironmentVariable("EMULSA_TEST_BINARY_DIR") + QStringLiteral("/bin/emulsa");
}

void useDataRoot(const QString& root)
{
    qputenv("PROGRAMDATA", QFile::encodeName(root));
    ApplicationPaths::instance()->clearCache();
}

} // namespace

class ResourcesHelperTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { QDir(ApplicationPaths::instance()->presetsPath()).removeRecursively(); }

    void hostCapabilitiesUnderXvfb() { QVERIFY(ResourcesHelper::checkHostCapabilities()); }

    void freshProfileGetsExamplesInstalled()
    {
        useDataRoot(makeDataRoot(QStringLiteral("fresh"), true));
        QVERIFY(!ResourcesHelper::checkExamplePresets(true));
        QVERIFY(ResourcesHelper::checkExamplePresets(false));
        QVERIFY(ResourcesHelper::installExamplePresets());
        QVERIFY(ResourcesHelper::checkExamplePresets(true));
        QVERIFY(Emulsa::runStartupChecks().isEmpty());
    }

    void missingThumbnailIsFilledInWithoutOverwriting()
    {
        useDataRoot(makeDataRoot(QStringLiteral("refill"), true));
        const QString user = ApplicationPaths::instance()->presetsPath();
        writeFile(user + QLatin1String(ResourcesHelper::kExampleGroupFile), "user edited group");
        for (int i = 0; i < 8; ++i) {
            if (i != 5)
                writeFile(user + QLatin1String(ResourcesHelper::kExampleThumbnails[i]), "user thumb");
        }
        QVERIFY(!ResourcesHelper::checkExamplePresets(true));
        QVERIFY(Emulsa::runStartupChecks().isEmpty());
        QVERIFY(ResourcesHelper::checkExamplePresets(true));
        QCOMPARE(readFile(user + QLatin1String(ResourcesHelper::kExampleThumbnails[5])), QByteArray("installed thumb"));
        QCOMPARE(readFile(user + QLatin1String(ResourcesHelper::kExampleThumbnails[0])), QByteArray("user thumb"));
        QCOMPARE(readFile(user + QLatin1String(ResourcesHelper::kExampleGroupFile)), QByteArray("user edited group"));
    }

    void filesInSubfoldersCount()
    {
        const QString user = ApplicationPaths::instance()->presetsPath();
        writeFile(user + QStringLiteral("a/b/") + QLatin1String(ResourcesHelper::kExampleGroupFile), "g");
        for (int i = 0; i < 8; ++i)
            writeFile(
                user + QStringLiteral("thumbs/%1/").arg(i) + QLatin1String(ResourcesHelper::kExampleThumbnails[i]),
                "t");
        QVERIFY(ResourcesHelper::checkExamplePresets(true));
        // The group name is case-sensitive.
        QFile::rename(user + QStringLiteral("a/b/examples.empreset"), user + QStringLiteral("a/b/Examples.empreset"));
        QVERIFY(!ResourcesHelper::checkExamplePresets(true));
    }

    void copyRecursivelyKeepsExistingFiles()
    {
        const QString source = Emulsa::Test::makeTempFolder(QStringLiteral("copy-src"));
        const QString destination = Emulsa::Test::makeTempFolder(QStringLiteral("copy-dst"));
        writeFile(source + QStringLiteral("/top.txt"), "new top");
        writeFile(source + QStringLiteral("/deep/er/leaf.txt"), "leaf");
        writeFile(destination + QStringLiteral("/top.txt"), "old top");
        ResourcesHelper::copyRecursively(source, destination);
        QCOMPARE(readFile(destination + QStringLiteral("/top.txt")), QByteArray("old top"));
        QCOMPARE(readFile(destination + QStringLiteral("/deep/er/leaf.txt")), QByteArray("leaf"));
        // A missing source does nothing.
        ResourcesHelper::copyRecursively(source + QStringLiteral("/absent"), destination + QStringLiteral("/x"));
        QVERIFY(!QDir(destination + QStringLiteral("/x")).exists());
    }

    void incompleteInstallationFails()
    {
        useDataRoot(makeDataRoot(QStringLiteral("incomplete"), true, 7));
        QVERIFY(!ResourcesHelper::installExamplePresets());
        QCOMPARE(Emulsa::runStartupChecks(), QString::fromLatin1(Emulsa::kInstallationMessage));
        QVERIFY(!QDir(ApplicationPaths::instance()->presetsPath()).exists());
    }

    void missingPlaceholderFails()
    {
        const QString root = makeDataRoot(QStringLiteral("no-placeholder"), true);
        QFile::remove(root + QStringLiteral("/Quillmoor/Resources/placeholderIF.bin"));
        useDataRoot(root);
        QVERIFY(!ResourcesHelper::checkPlaceholders());
        QCOMPARE(Emulsa::runStartupChecks(), QString::fromLatin1(Emulsa::kInstallationMessage));
    }

    // The program itself on the virtual display, where OpenGL works, so that
    // each check's failure is reached on purpose. The message is logged and
    // shown in a dialog that waits for an OK no one presses here.
    void programReportsEachStartupFailure_data()
    {
        QTest::addColumn<bool>("completeInstallation");
        QTest::addColumn<QByteArray>("glVersion");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("unexpected");
        const QString installation = QString::fromLatin1(Emulsa::kInstallationMessage);
        const QString requirements = QString::fromLatin1(Emulsa::kRequirementsMessage);
        QTest::newRow("broken installation") << false << QByteArray() << installation << requirements;
        QTest::newRow("OpenGL below 4.0") << true << QByteArray("3.3") << requirements << installation;
    }
    void programReportsEachStartupFailure()
    {
        QFETCH(bool, completeInstallation);
        QFETCH(QByteArray, glVersion);
        QFETCH(QString, expected);
        QFETCH(QString, unexpected);
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "run under scripts/with-display.sh");
        const QString home = Emulsa::Test::makeTempFolder(QStringLiteral("proc-failure"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PROGRAMDATA"), makeDataRoot(QStringLiteral("proc-failure"), completeInstallation));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        if (!glVersion.isEmpty())
            env.insert(QStringLiteral("MESA_GL_VERSION_OVERRIDE"), QString::fromLatin1(glVersion));
        QProcess emulsa;
        emulsa.setProcessEnvironment(env);
        emulsa.start(program(), QStringList());
        QVERIFY(emulsa.waitForStarted());
        auto logText = [&home] {
            QString text;
            const QDir logs(home + QStringLiteral("/Emulsa/logs"));
            for (const QString& name : logs.entryList({ QStringLiteral("*.log") }, QDir::Files))
                text += QString::fromUtf8(readFile(logs.filePath(name)));
            return text;
        };
        QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("[C]: ")), 30000);
        const QString log = logText();
        QVERIFY2(log.contains(expected) && !log.contains(unexpected), qPrintable(log.right(600)));
        emulsa.kill();
        emulsa.waitForFinished();
    }

    // Without a display to show dialogs on, the program says why on standard
    // error and ends with -1. The minimal platform has no OpenGL at all.
    void programWithoutDialogsExitsWithTheMessage()
    {
        QProcess emulsa;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PROGRAMDATA"), makeDataRoot(QStringLiteral("proc-minimal"), false));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("minimal"));
        emulsa.setProcessEnvironment(env);
        emulsa.start(program(), QStringList());
        QVERIFY(emulsa.waitForFinished(30000));
        QCOMPARE(emulsa.exitCode(), 255);
        const QByteArray err = emulsa.readAllStandardError();
        QVERIFY2(err.contains(Emulsa::kRequirementsMessage), err.constData());
    }

    void programOpensWindowOnCompleteInstallation()
    {
        const QString home = Emulsa::Test::makeTempFolder(QStringLiteral("proc-home"));
        QProcess emulsa;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PROGRAMDATA"), makeDataRoot(QStringLiteral("proc-good"), true));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home);
        emulsa.setProcessEnvironment(env);
        emulsa.start(program(), QStringList());
        QVERIFY(emulsa.waitForStarted());
        // Still running after the checks: the window is up and waiting for the user.
        QVERIFY(!emulsa.waitForFinished(4000));
        QVERIFY(QFile::exists(home + QStringLiteral("/Emulsa/presets/examples.empreset")));
        emulsa.kill();
        emulsa.waitForFinished();
    }
};

EMULSA_TEST_MAIN(ResourcesHelperTest)
#include "tst_resourceshelper.moc"
