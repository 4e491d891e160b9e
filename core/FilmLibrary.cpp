#include "core/FilmLibrary.h"

#include "core/AnnotatedMutexLocker.h"
#include "core/ApplicationPaths.h"
#include "core/CameraListHelper.h"
#include "core/GrainCurve.h"
#include "core/ProfileInfo.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cstring>
#include <new>

namespace Emulsa {

namespace {

const char kDefaultCode[] = "5204";
const char kDefaultDisplayName[] = "KD 5207 Vis3";

// A name taken from a catalogue, project or preset must stay one path
// component inside the data root.
bool isSafeComponent(const QString& part)
{
    return !part.isEmpty() && !part.contains(QLatin1Char('/')) && !part.contains(QLatin1Char('\\'))
        && part != QLatin1String("..") && part != QLatin1String(".");
}

float readFloat(const char* bytes)
{
    const quint32 bits = qFromLittleEndian<quint32>(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// Clamps to 0..1; NaN becomes 0.
float clampUnit(float value)
{
    if (!(value > 0.0f))
        return 0.0f;
    return value > 1.0f ? 1.0f : value;
}

std::unique_ptr<float[]> allocateTable()
{
    return std::unique_ptr<float[]>(new (std::nothrow) float[StockTable::kFloats]);
}

} // namespace

FilmLibrary* FilmLibrary::instance()
{
    static FilmLibrary library;
    return &library;
}

FilmLibrary::FilmLibrary()
{
    const struct
    {
        const char* displayName;
        const char* code;
    } stocks[] = {
        { "KD 5207 Vis3", "5207" },
        { "KD 5213 Vis3", "5213" },
        { "FJ 8543 VD", "8543" },
        { "FJ 8553 ET", "8553" },
        { "FJ 8563 RL", "8563" },
        { "FJ Ast 100", "FujiAstia100" },
        { "FJ Prov 100", "FujiProvia100" },
        { "FJ Velv 100", "FujiVelvia100" },
        { "FJ Neo", "FujiNeopan" },
        { "IL D400", "IlfordDelta400" },
        { "IL D3200", "IlfordDelta3200" },
        { "IL FN FP", "IlfordFP4" },
        { "KD TMx 100", "KodakT-max" },
        { "KD TrX 400", "KodakTriX" },
        { "FJ H400 Pro", "FujiProH" },
        { "FJ H160s Pro", "FujiPro160S" },
        { "FJ SuperX 400", "FujiSuperia400" },
        { "KD P400 Ptra", "KodakPortra" },
        { "Plrd 600", "Polaroid" },
    };
    for (const auto& stock : stocks)
        m_catalogue.insert(QString::fromLatin1(stock.displayName), QString::fromLatin1(stock.code));
}

QString FilmLibrary::dataRoot() const
{
    QString root = ApplicationPaths::instance()->dataRootPath();
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root;
}

const QMap<QString, QString>& FilmLibrary::stockCatalogue() const
{
    return m_catalogue;
}

QString FilmLibrary::codeForDisplayName(const QString& name) const
{
    return m_catalogue.value(name, QString::fromLatin1(kDefaultCode));
}

QString FilmLibrary::displayNameForCode(const QString& code) const
{
    for (auto it = m_catalogue.cbegin(); it != m_catalogue.cend(); ++it) {
        if (it.value() == code)
            return it.key();
    }
    return QString::fromLatin1(kDefaultDisplayName);
}

bool FilmLibrary::isKnownDisplayName(const QString& name) const
{
    return m_catalogue.contains(name);
}

QStringList FilmLibrary::displayNames() const
{
    return m_catalogue.keys();
}

bool FilmLibrary::isBlackAndWhiteStock(const QString& code)
{
    static const QStringList codes { QStringLiteral("FujiNeopan"), QStringLiteral("IlfordDelta400"),
        QStringLiteral("IlfordDelta3200"), QStringLiteral("IlfordFP4"), QStringLiteral("KodakT-max"),
        QStringLiteral("KodakTriX") };
    return codes.contains(code);
}

bool FilmLibrary::isProfileInstalled(const ProfileInfo* profile) const
{
    if (!profile)
        return false;
    const QString root = dataRoot();
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return false;
    const QString tin = QString::fromUtf8(profile->tin);
    const QString bin = QString::fromUtf8(profile->bin);
    if (isSafeComponent(tin)
        && (QFileInfo(userProfileFolder(tin)).isDir() || QFileInfo(root + QStringLiteral("/Profiles/") + tin).isDir()))
        return true;
    return isSafeComponent(bin)
        && QFileInfo::exists(root + QStringLiteral("/LUTS_V1/") + bin + QStringLiteral("_5207.bin"));
}

QString FilmLibrary::profileStockTablePath(const QString& stock, const ProfileInfo* profile) const
{
    const QString root = dataRoot();
    if (root.isEmpty() || !profile)
        return QString();
    const QString tin = QString::fromUtf8(profile->tin);
    if (!isSafeComponent(tin) || !isSafeComponent(stock))
        return QString();
    const QString downloaded = QStringLiteral("%1/%2_%3.tin").arg(userProfileFolder(tin), tin, stock);
    if (QFileInfo::exists(downloaded))
        return downloaded;
    return QStringLiteral("%1/%2/%3/%4_%5.tin").arg(root, QStringLiteral("Profiles"), tin, tin, stock);
}

QString FilmLibrary::userProfileFolder(const QString& tin)
{
    return ApplicationPaths::instance()->userProfilesPath() + tin;
}

QString FilmLibrary::genericStockTablePath(const QString& stock, const ProfileInfo* profile) const
{
    const QString root = dataRoot();
    if (root.isEmpty() || !profile)
        return QString();
    const QString bin = QString::fromUtf8(profile->bin);
    if (!isSafeComponent(bin) || !isSafeComponent(stock))
        return QString();
    return QStringLiteral("%1/%2/%3_%4.bin").arg(root, QStringLiteral("LUTS_V1"), bin, stock);
}

QString FilmLibrary::rawGrainPath(const QString& type) const
{
    const QString root = dataRoot();
    if (root.isEmpty() || !isSafeComponent(type))
        return QString();
    return root + QStringLiteral("/Resources/") + type + QStringLiteral(".bin");
}

QString FilmLibrary::grainCurvePath(const QString& stock) const
{
    const QString root = dataRoot();
    if (root.isEmpty() || !isSafeComponent(stock))
        return QString();
    return QStringLiteral("%1/%2/%3.emoGrain").arg(root, QStringLiteral("Resources"), stock);
}

QByteArray FilmLibrary::readFile(const QString& path, qint64 maxBytes)
{
    if (path.isEmpty())
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return maxBytes > 0 ? file.read(maxBytes) : file.readAll();
}

static const ProfileInfo* profileFor(unsigned int sourceType)
{
    CameraListHelper* catalogue = CameraListHelper::instance();
    if (!catalogue->isLoaded() && !catalogue->load())
        return nullptr;
    return catalogue->getProfile(sourceType);
}

StockTableData FilmLibrary::loadProfileStockTable(const QString& stock, unsigned int sourceType) const
{
    return loadProfileStockTable(stock, profileFor(sourceType));
}

StockTableData FilmLibrary::loadProfileStockTable(const QString& stock, const ProfileInfo* profile) const
{
    return loadTableFile(profileStockTablePath(stock, profile), &FilmLibrary::profileStockTableFromBytes);
}

StockTableData FilmLibrary::loadGenericStockTable(const QString& stock, unsigned int sourceType) const
{
    return loadGenericStockTable(stock, profileFor(sourceType));
}

StockTableData FilmLibrary::loadGenericStockTable(const QString& stock, const ProfileInfo* profile) const
{
    return loadTableFile(genericStockTablePath(stock, profile), &FilmLibrary::convertGenericStockTable);
}

StockTableData FilmLibrary::loadTableFile(const QString& path, StockTableData (*convert)(const QByteArray&)) const
{
    // An empty path: no profile, no data root or an unsafe name.
    const QString root = dataRoot();
    if (path.isEmpty() || !QFileInfo(root).isDir())
        return nullptr;
    const QFileInfo file(path);
    if (!file.exists())
        return nullptr;
    // The path names the stock and the camera profile (and whether the table
    // is the profile's own or the generic one); a file rewritten since it was
    // read (a profile downloaded again) is read anew.
    const qint64 size = file.size();
    const QDateTime modified = file.lastModified();
    {
        AnnotatedMutexLocker lock(&m_cacheMutex);
        for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
            if (it->path != path)
                continue;
            if (it->size == size && it->modified == modified) {
                m_cache.splice(m_cache.begin(), m_cache, it);
                return m_cache.front().table;
            }
            m_cache.erase(it);
            break;
        }
    }
    // Read outside the lock: another thread may look up another table meanwhile.
    ++m_stockTableReads;
    StockTableData table = convert(readFile(path, qint64(StockTable::kBytes)));
    if (!table) {
        qWarning().noquote() << "FilmLibrary: stock table" << path << "is shorter than" << StockTable::kBytes
                             << "bytes";
        return nullptr;
    }
    AnnotatedMutexLocker lock(&m_cacheMutex);
    // Two threads may have read the same file at once: keep one entry.
    for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
        if (it->path == path) {
            m_cache.erase(it);
            break;
        }
    }
    m_cache.push_front(CachedTable { path, size, modified, table });
    if (m_cache.size() > std::size_t(kCachedStockTables))
        m_cache.pop_back();
    return table;
}

void FilmLibrary::clearStockTableCache() const
{
    std::list<CachedTable> dropped;
    {
        AnnotatedMutexLocker lock(&m_cacheMutex);
        dropped.swap(m_cache);
    }
    // The tables still held elsewhere stay alive there.
}

StockTableData FilmLibrary::loadStockTable(const QString& stock, unsigned int sourceType) const
{
    const ProfileInfo* profile = profileFor(sourceType);
    StockTableData table = loadProfileStockTable(stock, profile);
    if (!table)
        table = loadGenericStockTable(stock, profile);
    return table;
}

float FilmLibrary::identityGridValue(int index)
{
    return float(index * 1024) / 65535.0f;
}

StockTableData FilmLibrary::profileStockTableFromBytes(const QByteArray& data)
{
    if (std::size_t(data.size()) < StockTable::kBytes)
        return nullptr;
    std::unique_ptr<float[]> table = allocateTable();
    if (!table)
        return nullptr;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    std::memcpy(table.get(), data.constData(), StockTable::kBytes);
#else
    for (std::size_t i = 0; i < StockTable::kFloats; ++i)
        table[i] = readFloat(data.constData() + 4 * i);
#endif
    return table;
}

StockTableData FilmLibrary::convertGenericStockTable(const QByteArray& data)
{
    if (std::size_t(data.size()) / 12 < StockTable::kEntries)
        return nullptr;
    std::unique_ptr<float[]> table = allocateTable();
    if (!table)
        return nullptr;
    constexpr int n = StockTable::kSize;
    float grid[n];
    for (int i = 0; i < n; ++i)
        grid[i] = identityGridValue(i);
    const char* source = data.constData();
    for (int ir = 0; ir < n; ++ir) {
        for (int ig = 0; ig < n; ++ig) {
            for (int ib = 0; ib < n; ++ib) {
                const char* s = source + 12 * std::size_t(ir * n * n + ig * n + ib);
                float* d = table.get() + 3 * std::size_t(ib * n * n + ig * n + ir);
                d[0] = clampUnit(grid[ir] + readFloat(s));
                d[1] = clampUnit(grid[ig] + readFloat(s + 4));
                d[2] = clampUnit(grid[ib] + readFloat(s + 8));
            }
        }
    }
    return table;
}

QByteArray FilmLibrary::loadGrainFile(const QString& stock) const
{
    return readFile(grainCurvePath(stock), qint64(GrainCurve::kBytes));
}

} // namespace Emulsa
