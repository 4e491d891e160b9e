#include "common/TestEnvironment.h"

#include "TestFiles.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/ProfileInfo.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using Emulsa::ApplicationPaths;
using Emulsa::CameraListHelper;
using Emulsa::FilmLibrary;
using Emulsa::ProfileInfo;
using Emulsa::StockTableData;
namespace StockTable = Emulsa::StockTable;

namespace {

using Emulsa::Test::appendFloat;
using Emulsa::Test::writeFile;

const quint32 kStandardId = 0x3130544F; // "OT01"
const quint32 kBinOnlyId = 0x3130544E; // "NT01"

// Generic table bytes: offsets(ir, ig, ib) for every source entry, red index
// slowest.
template<typename Offsets> QByteArray genericTable(Offsets offsets)
{
    QByteArray data;
    data.reserve(int(StockTable::kBytes));
    for (int ir = 0; ir < 64; ++ir)
        for (int ig = 0; ig < 64; ++ig)
            for (int ib = 0; ib < 64; ++ib) {
                const auto o = offsets(ir, ig, ib);
                appendFloat(data, o[0]);
                appendFloat(data, o[1]);
                appendFloat(data, o[2]);
            }
    return data;
}

QByteArray zeroOffsets()
{
    return QByteArray(int(StockTable::kBytes), '\0');
}

// A profile table whose every float is its own index / kFloats.
QByteArray countingProfileTable()
{
    QByteArray data;
    data.reserve(int(StockTable::kBytes));
    for (std::size_t i = 0; i < StockTable::kFloats; ++i)
        appendFloat(data, float(i) / float(StockTable::kFloats));
    return data;
}

const float* entry(const StockTableData& table, int r, int g, int b)
{
    return table.get() + 3 * (b * 4096 + g * 64 + r);
}

ProfileInfo makeProfile(const char* bin, const char* tin)
{
    ProfileInfo info;
    ProfileInfo::setField(info.bin, sizeof(info.bin), bin);
    ProfileInfo::setField(info.tin, sizeof(info.tin), tin);
    return info;
}

} // namespace

class FilmLibraryTest : public QObject
{
    Q_OBJECT

    QString m_programData;
    QString m_root;

    void useRoot(const QString& programData)
    {
        qputenv("PROGRAMDATA", QFile::encodeName(programData));
        ApplicationPaths::instance()->clearCache();
    }

private slots:
    void initTestCase()
    {
        // One data root for the process-wide catalogue: profile OT01 has both
        // kinds of table for 5207, NT01 only generic ones.
        m_programData = Emulsa::Test::makeTempFolder(QStringLiteral("filmdata"));
        m_root = m_programData + QStringLiteral("/Quillmoor");
        writeFile(m_root + QStringLiteral("/Resources/cameraList_v001.xml"),
            "<manufacturers><manufacturer name=\"M\"><models><model name=\"X\" id=\"X\"><profiles>"
            "<profile abbr=\"null\" name=\"Standard\" bin=\"GEN\" tin=\"GENT\" id=\"OT01\"></profile>"
            "<profile abbr=\"null\" name=\"Other\" bin=\"NGEN\" tin=\"NGENT\" id=\"NT01\"></profile>"
            "</profiles></model></models></manufacturer></manufacturers>");
        writeFile(m_root + QStringLiteral("/Profiles/GENT/GENT_5207.tin"), countingProfileTable());
        writeFile(m_root + QStringLiteral("/LUTS_V1/GEN_5207.bin"), zeroOffsets());
        writeFile(m_root + QStringLiteral("/LUTS_V1/NGEN_5207.bin"), zeroOffsets());
        useRoot(m_programData);
        QVERIFY(CameraListHelper::instance()->load());
    }

    void init() { useRoot(m_programData); }

    void cleanupTestCase()
    {
        qunsetenv("PROGRAMDATA");
        ApplicationPaths::instance()->clearCache();
    }

    void catalogueLookups()
    {
        const FilmLibrary* films = FilmLibrary::instance();
        QCOMPARE(films->codeForDisplayName(QStringLiteral("KD 5213 Vis3")), QStringLiteral("5213"));
        QCOMPARE(films->codeForDisplayName(QStringLiteral("No such stock")), QStringLiteral("5204"));
        QCOMPARE(films->displayNameForCode(QStringLiteral("FujiNeopan")), QStringLiteral("FJ Neo"));
        QCOMPARE(films->displayNameForCode(QStringLiteral("Polaroid")), QStringLiteral("Plrd 600"));
        QCOMPARE(films->displayNameForCode(QStringLiteral("9999")), QStringLiteral("KD 5207 Vis3"));
        QVERIFY(films->isKnownDisplayName(QStringLiteral("FJ Velv 100")));
        QVERIFY(!films->isKnownDisplayName(QStringLiteral("FujiVelvia100"))); // a code, not a name

        const QStringList names = films->displayNames();
        QCOMPARE(names.size(), 19);
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(names, sorted);
        QCOMPARE(names.first(), QStringLiteral("FJ 8543 VD"));
        for (const QString& name : names)
            QCOMPARE(films->displayNameForCode(films->codeForDisplayName(name)), name);

        int blackAndWhite = 0;
        for (const QString& code : films->stockCatalogue())
            blackAndWhite += FilmLibrary::isBlackAndWhiteStock(code) ? 1 : 0;
        QCOMPARE(blackAndWhite, 6);
        QVERIFY(!FilmLibrary::isBlackAndWhiteStock(QStringLiteral("5207")));
    }

    void dataRootFollowsApplicationPaths()
    {
        QCOMPARE(FilmLibrary::instance()->dataRoot(), m_root);
        QCOMPARE(FilmLibrary::instance()->dataRoot() + QLatin1Char('/'), ApplicationPaths::computeDataRootPath());
    }

    void genericConversionIdentityGrid()
    {
        const StockTableData table = FilmLibrary::convertGenericStockTable(zeroOffsets());
        QVERIFY(table);
        QCOMPARE(entry(table, 0, 0, 0)[0], 0.0f);
        // The grid tops out below 1: 63 * 1024 / 65535 = 0.984375 * 65536 / 65535.
        QCOMPARE(entry(table, 63, 63, 63)[0], float(63.0 * 1024.0 / 65535.0));
        QVERIFY(entry(table, 63, 63, 63)[2] < 0.985f);
        const float* e = entry(table, 5, 17, 40);
        QCOMPARE(e[0], float(5.0 * 1024.0 / 65535.0));
        QCOMPARE(e[1], float(17.0 * 1024.0 / 65535.0));
        QCOMPARE(e[2], float(40.0 * 1024.0 / 65535.0));
    }

    void genericConversionIndexOrderAndClamp()
    {
        // Each source entry carries offsets that name its own indices, so a
        // destination written from the wrong source shows it.
        const QByteArray data = genericTable([](int ir, int ig, int ib) {
            return std::array<float, 3> { ib * 1e-4f, ir * 1e-4f + (ig == 7 ? 2.0f : 0.0f), ig * 1e-4f - 0.5f };
        });
        const StockTableData table = FilmLibrary::convertGenericStockTable(data);
        QVERIFY(table);
        const int cases[][3] = { { 1, 2, 3 }, { 63, 0, 10 }, { 0, 63, 62 }, { 40, 7, 5 }, { 33, 33, 33 } };
        for (const auto& c : cases) {
            const int r = c[0], g = c[1], b = c[2];
            const float* d = entry(table, r, g, b);
            const float red = FilmLibrary::identityGridValue(r) + b * 1e-4f;
            const float green = g == 7 ? 1.0f : FilmLibrary::identityGridValue(g) + r * 1e-4f;
            const float blue = std::max(0.0f, FilmLibrary::identityGridValue(b) + g * 1e-4f - 0.5f);
            QVERIFY2(qFuzzyCompare(d[0], red), qPrintable(QStringLiteral("red at %1 %2 %3").arg(r).arg(g).arg(b)));
            QCOMPARE(d[1], green);
            if (blue == 0.0f)
                QCOMPARE(d[2], 0.0f);
            else
                QVERIFY(qFuzzyCompare(d[2], blue));
        }
    }

    void garbageOffsetsStayInRange()
    {
        QByteArray data = zeroOffsets();
        for (int i = 0; i < data.size(); i += 4)
            data[i + 3] = char(0xFF); // NaNs and huge negatives
        const StockTableData table = FilmLibrary::convertGenericStockTable(data);
        QVERIFY(table);
        for (std::size_t i = 0; i < StockTable::kFloats; i += 997)
            QVERIFY(table[i] >= 0.0f && table[i] <= 1.0f);
    }

    void tableSizes()
    {
        QVERIFY(!FilmLibrary::convertGenericStockTable(zeroOffsets().left(int(StockTable::kBytes) - 1)));
        QVERIFY(!FilmLibrary::convertGenericStockTable(QByteArray()));
        QVERIFY(FilmLibrary::convertGenericStockTable(zeroOffsets()));
        QVERIFY(FilmLibrary::convertGenericStockTable(zeroOffsets() + QByteArray(11, '\0')));
        QVERIFY(!FilmLibrary::profileStockTableFromBytes(zeroOffsets().left(int(StockTable::kBytes) - 1)));
        QVERIFY(FilmLibrary::profileStockTableFromBytes(zeroOffsets()));
    }

    void shortFilesOnDiskAreRejected()
    {
        const QString programData = Emulsa::Test::makeTempFolder(QStringLiteral("short"));
        const QString root = programData + QStringLiteral("/Quillmoor");
        const ProfileInfo profile = makeProfile("SB", "ST");
        writeFile(root + QStringLiteral("/LUTS_V1/SB_5207.bin"), zeroOffsets().left(3145727));
        writeFile(root + QStringLiteral("/LUTS_V1/SB_5213.bin"), zeroOffsets());
        writeFile(root + QStringLiteral("/Profiles/ST/ST_5207.tin"), countingProfileTable().left(3145727));
        writeFile(root + QStringLiteral("/Profiles/ST/ST_5213.tin"), countingProfileTable() + "tail");
        useRoot(programData);

        const FilmLibrary* films = FilmLibrary::instance();
        QVERIFY(!films->loadGenericStockTable(QStringLiteral("5207"), &profile));
        QVERIFY(films->loadGenericStockTable(QStringLiteral("5213"), &profile));
        QVERIFY(!films->loadProfileStockTable(QStringLiteral("5207"), &profile));
        const StockTableData table = films->loadProfileStockTable(QStringLiteral("5213"), &profile);
        QVERIFY(table);
        // Used as it stands: float i holds i / kFloats.
        QCOMPARE(table[0], 0.0f);
        QCOMPARE(table[12345], 12345.0f / float(StockTable::kFloats));
        QCOMPARE(table[StockTable::kFloats - 1], float(StockTable::kFloats - 1) / float(StockTable::kFloats));
    }

    void profileTableWinsOverGeneric()
    {
        const FilmLibrary* films = FilmLibrary::instance();
        const StockTableData table = films->loadStockTable(QStringLiteral("5207"), kStandardId);
        QVERIFY(table);
        QCOMPARE(table[300], 300.0f / float(StockTable::kFloats)); // the .tin data, not the grid
        QVERIFY(films->loadGenericStockTable(QStringLiteral("5207"), kStandardId));

        // Without a .tin the generic table is converted.
        QVERIFY(!films->loadProfileStockTable(QStringLiteral("5207"), kBinOnlyId));
        const StockTableData generic = films->loadStockTable(QStringLiteral("5207"), kBinOnlyId);
        QVERIFY(generic);
        QCOMPARE(entry(generic, 63, 0, 0)[0], float(63.0 * 1024.0 / 65535.0));

        // Neither table, an unknown or negative profile: nothing.
        QVERIFY(!films->loadStockTable(QStringLiteral("5213"), kStandardId));
        QVERIFY(!films->loadStockTable(QStringLiteral("5207"), 0x12345678u));
        QVERIFY(!films->loadStockTable(QStringLiteral("5207"), 0x80000000u));
        QVERIFY(!films->loadProfileStockTable(QStringLiteral("5207"), static_cast<const ProfileInfo*>(nullptr)));
    }

    void pathsStayInsideTheRoot()
    {
        const FilmLibrary* films = FilmLibrary::instance();
        const ProfileInfo profile = makeProfile("GEN", "GENT");
        QCOMPARE(films->profileStockTablePath(QStringLiteral("5207"), &profile),
            m_root + QStringLiteral("/Profiles/GENT/GENT_5207.tin"));
        QCOMPARE(films->genericStockTablePath(QStringLiteral("5207"), &profile),
            m_root + QStringLiteral("/LUTS_V1/GEN_5207.bin"));
        QCOMPARE(films->rawGrainPath(QStringLiteral("CP35")), m_root + QStringLiteral("/Resources/CP35.bin"));
        QCOMPARE(films->grainCurvePath(QStringLiteral("5207")), m_root + QStringLiteral("/Resources/5207.emoGrain"));
        // A stock code from a project file cannot walk out of the data folder.
        QVERIFY(films->profileStockTablePath(QStringLiteral("../../x"), &profile).isEmpty());
        QVERIFY(films->grainCurvePath(QStringLiteral("..")).isEmpty());
        const ProfileInfo escaping = makeProfile("../GEN", "..");
        QVERIFY(!films->loadGenericStockTable(QStringLiteral("5207"), &escaping));
        QVERIFY(!films->isProfileInstalled(&escaping));
    }

    void profileInstalled()
    {
        const FilmLibrary* films = FilmLibrary::instance();
        const ProfileInfo* standard = CameraListHelper::instance()->getProfile(kStandardId);
        QVERIFY(standard);
        QVERIFY(films->isProfileInstalled(standard)); // Profiles/GENT exists
        const ProfileInfo binOnly = makeProfile("NGEN", "NONE");
        QVERIFY(films->isProfileInstalled(&binOnly)); // LUTS_V1/NGEN_5207.bin exists
        const ProfileInfo neither = makeProfile("NOPE", "NONE");
        QVERIFY(!films->isProfileInstalled(&neither));
        QVERIFY(!films->isProfileInstalled(nullptr));

        // A root that does not exist: nothing is installed, nothing loads.
        useRoot(m_programData + QStringLiteral("/absent"));
        QVERIFY(!films->isProfileInstalled(standard));
        QVERIFY(!films->loadStockTable(QStringLiteral("5207"), kStandardId));
        QVERIFY(films->loadGrainFile(QStringLiteral("5207")).isEmpty());
    }

    // The library keeps the last few tables read: the same table again comes
    // from memory (the very same data), the least recently used goes first,
    // and a file rewritten since is read again.
    void stockTablesAreCached()
    {
        const QString programData = Emulsa::Test::makeTempFolder(QStringLiteral("cached"));
        const QString root = programData + QStringLiteral("/Quillmoor");
        const ProfileInfo profile = makeProfile("CB", "CT");
        const QStringList stocks { QStringLiteral("5207"), QStringLiteral("5213"), QStringLiteral("8543"),
            QStringLiteral("8553"), QStringLiteral("8563") };
        const QByteArray table = countingProfileTable();
        for (const QString& stock : stocks)
            writeFile(root + QStringLiteral("/Profiles/CT/CT_%1.tin").arg(stock), table);
        writeFile(root + QStringLiteral("/LUTS_V1/CB_5207.bin"), zeroOffsets());
        useRoot(programData);

        FilmLibrary* films = FilmLibrary::instance();
        films->clearStockTableCache();
        const int reads = films->stockTableReads();
        const StockTableData first = films->loadProfileStockTable(stocks[0], &profile);
        QVERIFY(first);
        QCOMPARE(films->stockTableReads(), reads + 1);
        QCOMPARE(films->loadProfileStockTable(stocks[0], &profile).get(), first.get());
        QCOMPARE(films->stockTableReads(), reads + 1);
        // The generic table of the same stock and profile is another table.
        const StockTableData generic = films->loadGenericStockTable(stocks[0], &profile);
        QVERIFY(generic && generic.get() != first.get());
        QCOMPARE(films->stockTableReads(), reads + 2);
        // Missing tables read nothing.
        QVERIFY(!films->loadProfileStockTable(QStringLiteral("KodakTriX"), &profile));
        QCOMPARE(films->stockTableReads(), reads + 2);

        // Four more tables: the first one, least recently used, is dropped
        // (the generic one went in after it).
        for (int i = 1; i < stocks.size(); ++i)
            QVERIFY(films->loadProfileStockTable(stocks[i], &profile));
        QCOMPARE(films->stockTableReads(), reads + 6);
        const StockTableData again = films->loadProfileStockTable(stocks[0], &profile);
        QCOMPARE(films->stockTableReads(), reads + 7);
        QVERIFY(again.get() != first.get());
        QCOMPARE(again[12345], first[12345]);
        // The one read last is still there.
        QVERIFY(films->loadProfileStockTable(stocks.last(), &profile));
        QCOMPARE(films->stockTableReads(), reads + 7);

        // A rewritten file (a profile downloaded again) is read again.
        const float marker = 0.25f;
        QByteArray changed = table.left(4 * 12345);
        appendFloat(changed, marker);
        changed += table.mid(4 * 12346);
        appendFloat(changed, 0.f);
        writeFile(root + QStringLiteral("/Profiles/CT/CT_5207.tin"), changed);
        const StockTableData rewritten = films->loadProfileStockTable(stocks[0], &profile);
        QCOMPARE(films->stockTableReads(), reads + 8);
        QCOMPARE(rewritten[12345], marker);
        // A table handed out stays whole when the cache lets it go.
        films->clearStockTableCache();
        QCOMPARE(first[12345], 12345.0f / float(StockTable::kFloats));
    }

    // Loads from several threads at once (the render thread and the GUI
    // thread share the library) all get whole tables, and one read per file
    // at most for each thread.
    void cachedLoadsFromThreads()
    {
        FilmLibrary* films = FilmLibrary::instance();
        films->clearStockTableCache();
        const int reads = films->stockTableReads();
        std::atomic<int> wrong { 0 };
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 20; ++i) {
                    const StockTableData profileTable = films->loadStockTable(QStringLiteral("5207"), kStandardId);
                    const StockTableData generic = films->loadStockTable(QStringLiteral("5207"), kBinOnlyId);
                    if (!profileTable || profileTable[300] != 300.0f / float(StockTable::kFloats))
                        ++wrong;
                    if (!generic || entry(generic, 63, 0, 0)[0] != float(63.0 * 1024.0 / 65535.0))
                        ++wrong;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(wrong.load(), 0);
        const int read = films->stockTableReads() - reads;
        QVERIFY2(read >= 2 && read <= 8, qPrintable(QString::number(read)));
    }

    void grainFileIsReadPlain()
    {
        QByteArray curve;
        for (int i = 0; i < 768; ++i)
            appendFloat(curve, float(i));
        writeFile(m_root + QStringLiteral("/Resources/5213.emoGrain"), curve + QByteArray(100, 'x'));
        const QByteArray read = FilmLibrary::instance()->loadGrainFile(QStringLiteral("5213"));
        QCOMPARE(read, curve);
        QVERIFY(FilmLibrary::instance()->loadGrainFile(QStringLiteral("8543")).isEmpty());
    }
};

EMULSA_TEST_MAIN(FilmLibraryTest)
#include "tst_filmlibrary.moc"
