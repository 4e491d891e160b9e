#pragma once

#include "core/StockTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <list>

namespace Emulsa {

struct ProfileInfo;

// The film data installed beside the application: the stock catalogue, the
// stock tables of every camera profile and the grain curves of every stock.
// All files are read plain (no stored scrambling) and little-endian.
//
// Files under the data root:
//   Profiles/<tin>/<tin>_<stock>.tin  profile stock table, 3,145,728 bytes of
//                                     floats in StockTable order (extra bytes
//                                     are ignored, fewer reject the file)
//   LUTS_V1/<bin>_<stock>.bin         generic stock table: 262,144 offset
//                                     triples, red index slowest, blue fastest
//   Resources/<type>.bin              raw grain image (see GrainImage)
//   Resources/<stock>.emoGrain        grain curve, 256 x (R, G, B) floats
//
// Besides the catalogue built on construction the library keeps the stock
// tables it read last (a few of them, each 3 MiB), so that applying the same
// grade again reads nothing from disk. Every call may come from any thread.
class FilmLibrary
{
public:
    static FilmLibrary* instance();

    FilmLibrary();

    // The film data root without a trailing slash (ApplicationPaths' data
    // root), or an empty string when there is none.
    QString dataRoot() const;

    // Stock catalogue: display name -> stock code, in display-name order.
    const QMap<QString, QString>& stockCatalogue() const;
    // Stock code of a display name; "5204" for a name not in the catalogue.
    QString codeForDisplayName(const QString& name) const;
    // First display name (in key order) with this code; "KD 5207 Vis3" for a
    // code not in the catalogue.
    QString displayNameForCode(const QString& code) const;
    bool isKnownDisplayName(const QString& name) const;
    QStringList displayNames() const;
    // The stocks graded with the black-and-white matrix ("FujiNeopan",
    // "IlfordDelta400", "IlfordDelta3200", "IlfordFP4", "KodakT-max",
    // "KodakTriX").
    static bool isBlackAndWhiteStock(const QString& code);

    // True when the root exists and either the folder Profiles/<tin> (in the
    // user's downloaded profiles or the data root) or the file
    // LUTS_V1/<bin>_5207.bin exists. False for a null profile.
    bool isProfileInstalled(const ProfileInfo* profile) const;

    // Paths of the files above ("" when there is no root or no profile). A
    // profile table downloaded into ApplicationPaths::userProfilesPath() is
    // preferred to the one in the data root.
    QString profileStockTablePath(const QString& stock, const ProfileInfo* profile) const;
    QString genericStockTablePath(const QString& stock, const ProfileInfo* profile) const;
    QString rawGrainPath(const QString& type) const;
    QString grainCurvePath(const QString& stock) const;

    // The profile stock table of the stock for the camera profile with id
    // `sourceType` (looked up in CameraListHelper, loading the catalogue when
    // it is not loaded yet), in StockTable order. None when the root, the
    // profile or the file is missing, or the file holds fewer than
    // StockTable::kBytes bytes.
    StockTableData loadProfileStockTable(const QString& stock, unsigned int sourceType) const;
    StockTableData loadProfileStockTable(const QString& stock, const ProfileInfo* profile) const;

    // The generic stock table converted to StockTable order (see
    // convertGenericStockTable). None when the root, the profile or the file
    // is missing or the file is too short.
    StockTableData loadGenericStockTable(const QString& stock, unsigned int sourceType) const;
    StockTableData loadGenericStockTable(const QString& stock, const ProfileInfo* profile) const;

    // The profile table when there is one, else the generic table, else none.
    StockTableData loadStockTable(const QString& stock, unsigned int sourceType) const;

    // How many stock tables the loaders above read from disk so far; a table
    // still cached (its file unchanged) is not read again.
    int stockTableReads() const { return m_stockTableReads.load(); }
    // How many tables the cache keeps, the least recently used going first.
    static constexpr int kCachedStockTables = 4;
    // Forgets the cached tables (the next load of each reads the disk).
    void clearStockTableCache() const;

    // Converts generic table bytes: for every index triple (ir, ig, ib), source
    // entry s = ir*4096 + ig*64 + ib and destination d = ib*4096 + ig*64 + ir,
    //   d.red = clamp(ir*1024/65535 + s.red, 0, 1), and likewise green with ig
    //   and blue with ib.
    // The data must hold at least 262,144 float triples, otherwise none.
    static StockTableData convertGenericStockTable(const QByteArray& data);
    // Profile table bytes as they stand; none when shorter than kBytes.
    static StockTableData profileStockTableFromBytes(const QByteArray& data);
    // The identity grid value of an index: index * 1024 / 65535.
    static float identityGridValue(int index);

    // The plain bytes of Resources/<stock>.emoGrain (at most the 3,072 a curve
    // needs), or an empty array when there is no root or no file. The size
    // check is GrainCurve::fromBytes'.
    QByteArray loadGrainFile(const QString& stock) const;

    // The folder a downloaded profile's tables are installed in.
    static QString userProfileFolder(const QString& tin);

private:
    // At most maxBytes bytes of the file (all of it when maxBytes is 0).
    static QByteArray readFile(const QString& path, qint64 maxBytes);
    // The stock table at path through convert; none when path is empty or
    // the file is missing.
    StockTableData loadTableFile(const QString& path, StockTableData (*convert)(const QByteArray&)) const;

    QMap<QString, QString> m_catalogue;

    // A table read from a file, valid while the file keeps its size and time.
    struct CachedTable
    {
        QString path;
        qint64 size = 0;
        QDateTime modified;
        StockTableData table;
    };
    mutable QMutex m_cacheMutex;
    // Most recently used first; at most kCachedStockTables entries.
    mutable std::list<CachedTable> m_cache;
    mutable std::atomic<int> m_stockTableReads { 0 };
};

} // namespace Emulsa
