#include "common/TestEnvironment.h"

#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/ClipSettings.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"
#include "model/SettingsManager.h"

#include <QDir>
#include <QSettings>

using namespace Emulsa;

namespace {

QByteArray catalogueText()
{
    auto profile = [](const char* name, const char* bin, const char* tin, const char* id) {
        return QByteArray("        <profile abbr=\"null\" name=\"") + name + "\" bin=\"" + bin + "\" tin=\"" + tin
            + "\" id=\"" + id + "\"></profile>\n";
    };
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manufacturers>\n"
                      "  <manufacturer name=\"Other\">\n   <models>\n"
                      "    <model name=\"Generic\" id=\"GEN0\">\n      <profiles>\n")
        + profile("Standard", "GEN", "GENT", "OT01") + profile("Installed", "ABB", "ABT", "AB12")
        + profile("Missing", "CDB", "CDT", "CD34")
        + "      </profiles>\n    </model>\n   </models>\n  </manufacturer>\n</manufacturers>\n";
}

quint32 storedProfile()
{
    return SettingsManager::openStore()->value(QStringLiteral("DefaultSettings/DefaultProfile")).toUInt();
}

void storeProfile(const char* code)
{
    SettingsManager::openStore()->setValue(QStringLiteral("DefaultSettings/DefaultProfile"), ProfileInfo::packId(code));
}

} // namespace

class SettingsManagerTest : public QObject
{
    Q_OBJECT

private:
    CameraListHelper* m_catalogue = nullptr;
    FilmLibrary* m_library = nullptr;

private slots:
    void initTestCase()
    {
        // A data root where OT01 and AB12 are installed and CD34 is not.
        const QString programData = Test::makeTempFolder(QStringLiteral("programdata"));
        QDir().mkpath(programData + QStringLiteral("/Quillmoor/Profiles/GENT"));
        QDir().mkpath(programData + QStringLiteral("/Quillmoor/Profiles/ABT"));
        qputenv("PROGRAMDATA", QFile::encodeName(programData));
        ApplicationPaths::instance()->clearCache();
        m_catalogue = new CameraListHelper;
        QVERIFY(m_catalogue->loadFromData(catalogueText()));
        m_library = new FilmLibrary;
    }

    void cleanupTestCase()
    {
        delete m_library;
        delete m_catalogue;
    }

    void init() { SettingsManager::openStore()->clear(); }

    void storeIsTheUserIniFile()
    {
        const auto store = SettingsManager::openStore();
        QCOMPARE(store->format(), QSettings::IniFormat);
        QCOMPARE(store->scope(), QSettings::UserScope);
        QCOMPARE(store->organizationName(), QStringLiteral("QLM"));
        QCOMPARE(store->applicationName(), QStringLiteral("Emulsa"));
        QVERIFY(store->fileName().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
        QVERIFY(store->fileName().endsWith(QStringLiteral("/QLM/Emulsa.ini")));
    }

    void emptyStoreGivesOriginalDefault()
    {
        SettingsManager manager(m_catalogue, m_library);
        QCOMPARE(manager.defaultProfile(), 0x3130544Fu);
    }

    void installedProfileIsKept()
    {
        storeProfile("AB12");
        SettingsManager manager(m_catalogue, m_library);
        QCOMPARE(manager.defaultProfile(), ProfileInfo::packId("AB12"));
        QCOMPARE(storedProfile(), ProfileInfo::packId("AB12"));
    }

    void profileNotInstalledIsReplacedForThisRunOnly()
    {
        storeProfile("CD34");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Default Profile not installed, settings the original"));
        SettingsManager manager(m_catalogue, m_library);
        QCOMPARE(manager.defaultProfile(), SettingsManager::originalDefaultProfile);
        QCOMPARE(storedProfile(), ProfileInfo::packId("CD34"));
    }

    void unknownProfileIsRewritten_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("code the catalogue does not know") << QVariant(ProfileInfo::packId("ZZ99"));
        QTest::newRow("not a number") << QVariant(QStringLiteral("fast"));
    }

    void unknownProfileIsRewritten()
    {
        QFETCH(QVariant, stored);
        SettingsManager::openStore()->setValue(QStringLiteral("DefaultSettings/DefaultProfile"), stored);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Default Profile do not even exist"));
        SettingsManager manager(m_catalogue, m_library);
        QCOMPARE(manager.defaultProfile(), SettingsManager::originalDefaultProfile);
        QCOMPARE(storedProfile(), SettingsManager::originalDefaultProfile);
    }

    void missingCatalogueKeepsTheStoredChoice()
    {
        storeProfile("AB12");
        const QString empty = Test::makeTempFolder(QStringLiteral("nodata"));
        const QByteArray previous = qgetenv("PROGRAMDATA");
        qputenv("PROGRAMDATA", QFile::encodeName(empty));
        ApplicationPaths::instance()->clearCache();
        {
            CameraListHelper noCatalogue;
            SettingsManager manager(&noCatalogue, m_library);
            QCOMPARE(manager.defaultProfile(), SettingsManager::originalDefaultProfile);
        }
        qputenv("PROGRAMDATA", previous);
        ApplicationPaths::instance()->clearCache();
        QCOMPARE(storedProfile(), ProfileInfo::packId("AB12"));
    }

    void settingsPerItem()
    {
        storeProfile("AB12");
        SettingsManager manager(m_catalogue, m_library);
        const QUuid first = QUuid::createUuid();
        const QUuid second = QUuid::createUuid();

        ClipSettings* made = manager.settingsForID(first);
        QVERIFY(made);
        QCOMPARE(made->getSourceType(), ProfileInfo::packId("AB12"));
        QCOMPARE(manager.settingsForID(first), made);
        QCOMPARE(manager.count(), 1);

        auto* own = new ClipSettings;
        own->setExposure(1.5f);
        QVERIFY(manager.addSettingsForID(second, own));
        QCOMPARE(manager.settingsForID(second), own);
        QVERIFY(manager.isRegistered(second, own));
        // A second object under a taken id is refused: the item of that id
        // still points to the first one, which must stay alive.
        auto* other = new ClipSettings;
        QVERIFY(!manager.addSettingsForID(second, other));
        QCOMPARE(manager.settingsForID(second), own);
        QCOMPARE(own->getExposure(), 1.5f);
        delete other;
        QVERIFY(manager.addSettingsForID(second, own));
        QVERIFY(!manager.addSettingsForID(QUuid::createUuid(), nullptr));
        QCOMPARE(manager.count(), 2);

        ClipSettings* taken = manager.removeSettingsForID(second);
        QCOMPARE(taken, own);
        QVERIFY(!manager.hasSettingsForID(second));
        QVERIFY(!manager.isRegistered(second, own));
        QVERIFY(!manager.removeSettingsForID(second));
        delete taken;
    }

    void resetKeepsTheCameraProfile()
    {
        SettingsManager manager(m_catalogue, m_library);
        const QUuid id = QUuid::createUuid();
        ClipSettings* settings = manager.settingsForID(id);
        const ClipSettings defaults;
        settings->setSourceType(ProfileInfo::packId("CD34"));
        settings->setExposure(defaults.getExposure() + 2.0f);
        settings->setSaturation(defaults.getSaturation() + 0.5f);
        settings->setStockName(QStringLiteral("9999"));
        manager.resetSettingsForID(id);
        QCOMPARE(settings->getSourceType(), ProfileInfo::packId("CD34"));
        QCOMPARE(settings->getExposure(), defaults.getExposure());
        QCOMPARE(settings->getSaturation(), defaults.getSaturation());
        QCOMPARE(settings->getStockName(), defaults.getStockName());

        manager.resetSettingsForID(QUuid::createUuid()); // unknown id: nothing happens
        QCOMPARE(manager.count(), 1);
    }

    void setDefaultProfileWritesTheStore()
    {
        SettingsManager manager(m_catalogue, m_library);
        manager.setDefaultProfile(ProfileInfo::packId("AB12"));
        QCOMPARE(manager.defaultProfile(), ProfileInfo::packId("AB12"));
        QCOMPARE(storedProfile(), ProfileInfo::packId("AB12"));
        QCOMPARE(manager.settingsForID(QUuid::createUuid())->getSourceType(), ProfileInfo::packId("AB12"));
    }
};

EMULSA_TEST_MAIN(SettingsManagerTest)
#include "tst_settingsmanager.moc"
