#include "common/TestEnvironment.h"

#include "TestFiles.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstring>

using Emulsa::ApplicationPaths;
using Emulsa::CameraListHelper;
using Emulsa::ProfileInfo;

namespace {

using Emulsa::Test::writeFile;

QByteArray profile(
    const QByteArray& abbr, const QByteArray& name, const QByteArray& bin, const QByteArray& tin, const QByteArray& id)
{
    return "        <profile abbr=\"" + abbr + "\" name=\"" + name + "\" bin=\"" + bin + "\" tin=\"" + tin + "\" id=\""
        + id + "\"></profile>\n";
}

QByteArray model(const QByteArray& name, const QByteArray& id, const QByteArray& profiles)
{
    return "    <model name=\"" + name + "\" id=\"" + id + "\">\n      <profiles>\n" + profiles
        + "      </profiles>\n    </model>\n";
}

QByteArray manufacturer(const QByteArray& name, const QByteArray& models)
{
    return "  <manufacturer name=\"" + name + "\">\n   <models>\n" + models + "   </models>\n  </manufacturer>\n";
}

QByteArray catalogue(const QByteArray& manufacturers)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manufacturers>\n" + manufacturers + "</manufacturers>\n";
}

QByteArray standardCatalogue()
{
    return catalogue(manufacturer("Other", model("Generic", "GEN0", profile("null", "Standard", "GEN", "GENT", "OT01")))
        + manufacturer("Acme",
            model("A1", "ACA1",
                profile("Log:C", "Log C", "ACLOG", "ACLOGT", "AC01")
                    + profile("Rec:709", "Rec 709", "AC709", "AC709T", "AC02"))
                + model("A2", "ACA2", profile("null", "Raw", "ACRAW", "ACRAWT", "AC03"))));
}

} // namespace

class CameraListHelperTest : public QObject
{
    Q_OBJECT

    QString m_resources;

    // A fresh resources folder under a fresh PROGRAMDATA root.
    void freshDataRoot(const QString& name)
    {
        const QString root = Emulsa::Test::makeTempFolder(name);
        qputenv("PROGRAMDATA", QFile::encodeName(root));
        ApplicationPaths::instance()->clearCache();
        m_resources = root + QStringLiteral("/Quillmoor/Resources");
        QVERIFY(QDir().mkpath(m_resources));
    }

private slots:
    void cleanup()
    {
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }

    void versionOfFileName_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("version");
        QTest::newRow("three digits") << "cameraList_v012.xml" << 12;
        QTest::newRow("ten") << "cameraList_v010.xml" << 10;
        QTest::newRow("one digit is not a number") << "cameraList_v9.xml" << 0;
        QTest::newRow("longer keeps three") << "cameraList_v1234.xml" << 123;
        QTest::newRow("letters") << "cameraList_vabc.xml" << 0;
    }
    void versionOfFileName()
    {
        QFETCH(QString, fileName);
        QFETCH(int, version);
        QCOMPARE(CameraListHelper::catalogueVersion(fileName), version);
    }

    void newestCatalogueIsChosen()
    {
        freshDataRoot(QStringLiteral("versions"));
        const QByteArray text = standardCatalogue();
        writeFile(m_resources + QStringLiteral("/cameraList_v009.xml"), text);
        writeFile(m_resources + QStringLiteral("/cameraList_v010.xml"), text);
        writeFile(m_resources + QStringLiteral("/cameraList_v9.xml"), text);
        writeFile(m_resources + QStringLiteral("/cameraList_v099.txt"), text);
        QVERIFY(QDir().mkpath(m_resources + QStringLiteral("/cameraList_v098.xml"))); // a folder, not a file
        QVERIFY(QFile::link(m_resources + QStringLiteral("/cameraList_v010.xml"),
            m_resources + QStringLiteral("/cameraList_v097.xml")));

        CameraListHelper helper;
        QCOMPARE(helper.xmlPath(), m_resources + QStringLiteral("/cameraList_v010.xml"));
        QVERIFY(helper.load());
        QVERIFY(helper.isLoaded());

        // Without v009/v010 the lone v9 file (version 0) still beats nothing.
        QVERIFY(QFile::remove(m_resources + QStringLiteral("/cameraList_v009.xml")));
        QVERIFY(QFile::remove(m_resources + QStringLiteral("/cameraList_v097.xml")));
        QVERIFY(QFile::remove(m_resources + QStringLiteral("/cameraList_v010.xml")));
        QCOMPARE(CameraListHelper::newestCatalogueIn(m_resources), m_resources + QStringLiteral("/cameraList_v9.xml"));

        // Of equal versions the first in name order wins.
        writeFile(m_resources + QStringLiteral("/cameraList_v000.xml"), text);
        QCOMPARE(
            CameraListHelper::newestCatalogueIn(m_resources), m_resources + QStringLiteral("/cameraList_v000.xml"));
    }

    void missingCatalogueFailsToLoad()
    {
        freshDataRoot(QStringLiteral("missing"));
        CameraListHelper helper;
        QVERIFY(helper.xmlPath().isEmpty());
        QVERIFY(!helper.load());
        QVERIFY(!helper.isLoaded());
        QVERIFY2(helper.lastError().startsWith(QLatin1String("Could not open file")), qPrintable(helper.lastError()));
        QCOMPARE(helper.getProfile(ProfileInfo::packId("OT01")), nullptr);
    }

    void parsesTreeAndIds()
    {
        CameraListHelper helper;
        QVERIFY(helper.loadFromData(standardCatalogue()));

        const ProfileInfo* standard = helper.getProfile(0x3130544Fu);
        QVERIFY(standard);
        QCOMPARE(standard->profileId(), 0x3130544Fu);
        QCOMPARE(ProfileInfo::packId("OT01"), 0x3130544Fu);
        QCOMPARE(QByteArray(standard->manufacturer), QByteArray("Other"));
        QCOMPARE(QByteArray(standard->model), QByteArray("Generic"));
        QCOMPARE(QByteArray(standard->modelId), QByteArray("GEN0"));
        QCOMPARE(QByteArray(standard->abbr), QByteArray("null"));
        QCOMPARE(QByteArray(standard->name), QByteArray("Standard"));
        QCOMPARE(QByteArray(standard->bin), QByteArray("GEN"));
        QCOMPARE(QByteArray(standard->tin), QByteArray("GENT"));
        QCOMPARE(QByteArray(standard->id), QByteArray("OT01"));

        const auto& tree = helper.manufacturers();
        QCOMPARE(tree.size(), 2);
        QCOMPARE(tree[1].name, QStringLiteral("Acme"));
        QCOMPARE(tree[1].models.size(), 2);
        QCOMPARE(tree[1].models[0].name, QStringLiteral("A1"));
        QCOMPARE(tree[1].models[0].profiles.size(), 2);
        QCOMPARE(tree[1].models[0].profiles[1].name, QStringLiteral("Rec 709"));
        QCOMPARE(tree[1].models[0].profiles[1].info, helper.getProfile(ProfileInfo::packId("AC02")));
        QCOMPARE(QByteArray(tree[1].models[1].profiles[0].info->modelId), QByteArray("ACA2"));
        QCOMPARE(helper.getProfile(ProfileInfo::packId("ZZ99")), nullptr);
    }

    void shortIdPadsWithZeroBytes()
    {
        CameraListHelper helper;
        QVERIFY(
            helper.loadFromData(catalogue(manufacturer("M", model("X", "X", profile("null", "P", "B", "T", "AB"))))));
        QCOMPARE(ProfileInfo::packId("AB"), 0x4241u);
        QVERIFY(helper.getProfile(0x4241u));
    }

    void negativeIdsMatchNothing()
    {
        // "AB\xC3\xA9" packs with 0xA9 in the top byte: negative as signed.
        const QByteArray id("AB\xC3\xA9");
        const quint32 packed = ProfileInfo::packId(id.constData());
        QVERIFY(qint32(packed) < 0);
        CameraListHelper helper;
        QVERIFY(helper.loadFromData(catalogue(manufacturer("M", model("X", "X", profile("null", "P", "B", "T", id))))));
        QCOMPARE(helper.manufacturers().size(), 1);
        QCOMPARE(helper.getProfile(packed), nullptr);
        QCOMPARE(helper.getProfile(0x80000000u), nullptr);
        QCOMPARE(helper.getProfile(0xFFFFFFFFu), nullptr);
    }

    void duplicateIdsKeepTheLaterInTheMap()
    {
        CameraListHelper helper;
        QVERIFY(helper.loadFromData(
            catalogue(manufacturer("M", model("X", "X", profile("null", "First", "B1", "T1", "OT01")))
                + manufacturer("N", model("Y", "Y", profile("null", "Second", "B2", "T2", "OT01"))))));
        const ProfileInfo* found = helper.getProfile(0x3130544Fu);
        QVERIFY(found);
        QCOMPARE(QByteArray(found->name), QByteArray("Second"));
        // Both stay in the tree.
        QCOMPARE(QByteArray(helper.manufacturers()[0].models[0].profiles[0].info->name), QByteArray("First"));
    }

    void attributeOrderMatters()
    {
        const QByteArray swapped = catalogue(manufacturer("M",
            model("X", "X",
                "<profile name=\"Standard\" abbr=\"null\" bin=\"GEN\" tin=\"GENT\" id=\"OT01\"></profile>\n")));
        CameraListHelper helper;
        QVERIFY(!helper.loadFromData(swapped));
        QVERIFY(!helper.isLoaded());
        QCOMPARE(helper.getProfile(0x3130544Fu), nullptr);
    }

    void valuesLongerThanTheirFieldSkipOnlyTheirEntry_data()
    {
        // Each catalogue holds the good profile OT01 and an entry with id
        // AB12 that is kept (values at their limit) or skipped with a warning.
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("warning");
        const QByteArray n63(63, 'n');
        const QByteArray n64(64, 'n');
        const QByteArray good = profile("null", "Good", "B", "T", "OT01");
        auto inModel
            = [&good](const QByteArray& other) { return catalogue(manufacturer("M", model("X", "X", other + good))); };
        QTest::newRow("name 63") << inModel(profile("null", n63, "B", "T", "AB12")) << QString();
        QTest::newRow("id 7") << inModel(profile("null", "P", "B", "T", "AB12345")) << QString();
        QTest::newRow("name 64") << inModel(profile("null", n64, "B", "T", "AB12"))
                                 << QStringLiteral("skipping profile n{64} \\(AB12\\) of model X");
        QTest::newRow("id 8") << inModel(profile("null", "P", "B", "T", "AB123456"))
                              << QStringLiteral("skipping profile P \\(AB123456\\)");
        QTest::newRow("tin 64") << inModel(profile("null", "P", "B", n64, "AB12"))
                                << QStringLiteral("skipping profile P \\(AB12\\)");
        QTest::newRow("embedded NUL") << inModel(profile("null", QByteArray("P\0Q", 3), "B", "T", "AB12"))
                                      << QStringLiteral("skipping profile P");
        QTest::newRow("model id 64") << catalogue(
            manufacturer("M", model("Y", n64, profile("null", "P", "B", "T", "AB12")) + model("X", "X", good)))
                                     << QStringLiteral("skipping model Y \\(n{64}\\) of M");
        QTest::newRow("manufacturer 64") << catalogue(
            manufacturer(n64, model("Y", "Y", profile("null", "P", "B", "T", "AB12")))
            + manufacturer("M", model("X", "X", good)))
                                         << QStringLiteral("skipping manufacturer n{64}");
    }
    void valuesLongerThanTheirFieldSkipOnlyTheirEntry()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, warning);
        const bool skipped = !warning.isEmpty();
        if (skipped)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        CameraListHelper helper;
        QVERIFY(helper.loadFromData(text));
        QVERIFY(helper.getProfile(ProfileInfo::packId("OT01")));
        const ProfileInfo* other = helper.getProfile(ProfileInfo::packId("AB12"));
        QCOMPARE(other == nullptr, skipped);
        if (other) // the whole value, never a cut one
            QVERIFY(std::strlen(other->name) < sizeof(other->name));

        // The skipped entry leaves nothing behind in the tree.
        int profiles = 0;
        for (const auto& maker : helper.manufacturers())
            for (const auto& m : maker.models) {
                QVERIFY(!m.profiles.isEmpty());
                profiles += m.profiles.size();
            }
        QCOMPARE(profiles, skipped ? 1 : 2);
        QCOMPARE(helper.manufacturers().size(), 1);
    }

    void malformedCataloguesFail_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray good = profile("null", "P", "B", "T", "OT01");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x00\x01\xff<<>>\"\"\"", 10);
        QTest::newRow("no container close") << QByteArray("<manufacturers>" + manufacturer("M", model("X", "X", good)));
        QTest::newRow("no manufacturer") << catalogue(QByteArray());
        QTest::newRow("no models") << catalogue("<manufacturer name=\"M\"></manufacturer>");
        QTest::newRow("no profiles") << catalogue("<manufacturer name=\"M\"><models><model name=\"X\" id=\"X\"></model>"
                                                  "</models></manufacturer>");
        QTest::newRow("empty manufacturer name") << catalogue(manufacturer("", model("X", "X", good)));
        QTest::newRow("empty abbr") << catalogue(
            manufacturer("M", model("X", "X", profile("", "P", "B", "T", "OT01"))));
        QTest::newRow("unterminated quote") << catalogue(manufacturer("M",
            model("X", "X",
                "<profile abbr=\"null\" name=\"P\" bin=\"B\" tin=\"T\" "
                "id=\"OT01></profile>")));
        QTest::newRow("cut in a profile")
            << catalogue(manufacturer("M", model("X", "X", good))).left(standardCatalogue().indexOf("<profile ") + 30);
    }
    void malformedCataloguesFail()
    {
        QFETCH(QByteArray, text);
        CameraListHelper helper;
        QVERIFY(!helper.loadFromData(text));
        QVERIFY(!helper.isLoaded());
        QCOMPARE(helper.getProfile(0x3130544Fu), nullptr);
    }

    void failureKeepsWhatWasParsed()
    {
        const QByteArray text = catalogue(manufacturer("Good", model("X", "X", profile("null", "P", "B", "T", "OT01")))
            + manufacturer("Bad", "<models></models>"));
        CameraListHelper helper;
        QVERIFY(!helper.loadFromData(text));
        QCOMPARE(helper.manufacturers().size(), 2);
        QCOMPARE(helper.manufacturers()[0].models[0].profiles.size(), 1);
        // No id map without a successful parse.
        QCOMPARE(helper.getProfile(0x3130544Fu), nullptr);
        // A later good load replaces the tree and builds the map.
        QVERIFY(helper.loadFromData(standardCatalogue()));
        QCOMPARE(helper.manufacturers().size(), 2);
        QCOMPARE(helper.manufacturers()[0].name, QStringLiteral("Other"));
        QVERIFY(helper.getProfile(0x3130544Fu));
    }

    void loadsFromFileOnce()
    {
        freshDataRoot(QStringLiteral("once"));
        writeFile(m_resources + QStringLiteral("/cameraList_v001.xml"), standardCatalogue());
        CameraListHelper helper;
        QVERIFY(helper.load());
        const ProfileInfo* first = helper.getProfile(0x3130544Fu);
        QVERIFY(first);
        // Loaded: a changed file is not read again and records stay put.
        writeFile(m_resources + QStringLiteral("/cameraList_v001.xml"), "garbage");
        QVERIFY(helper.load());
        QCOMPARE(helper.getProfile(0x3130544Fu), first);
    }
};

EMULSA_TEST_MAIN(CameraListHelperTest)
#include "tst_cameralisthelper.moc"
