#include "core/filmdata/ProfileTables.h"

#include "core/filmdata/FilmModel.h"
#include "core/filmdata/TableBuilder.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <algorithm>
#include <thread>

namespace Emulsa {
namespace FilmData {

QString ProfileTables::fileName(const CameraProfile& profile, const FilmStock& stock)
{
    return QString::fromLatin1(profile.tin) + QLatin1Char('_') + QString::fromLatin1(stock.code)
        + QStringLiteral(".tin");
}

QByteArray ProfileTables::tableBytes(const CameraProfile& profile, const FilmStock& stock, const CubeLut* lut)
{
    const FilmModel model(profile, stock, lut);
    return TableBuilder::toBytes(TableBuilder::profileTable(model));
}

bool ProfileTables::write(const CameraProfile& profile, const QString& folder, int threads,
    const std::atomic<bool>* cancel, const Progress& progress, const CubeLut* lut)
{
    const std::vector<FilmStock>& stocks = FilmStocks::all();
    const int total = static_cast<int>(stocks.size());
    std::atomic<bool> failed { false };
    QMutex progressLock;
    int done = 0;
    std::vector<std::function<bool()>> jobs;
    jobs.reserve(stocks.size());
    for (const FilmStock& stock : stocks) {
        jobs.push_back([&, stockPtr = &stock] {
            // Once one table failed or the make was cancelled, the rest are
            // skipped rather than computed for nothing.
            if (failed || (cancel && *cancel))
                return false;
            if (!writeFile(
                    folder + QLatin1Char('/') + fileName(profile, *stockPtr), tableBytes(profile, *stockPtr, lut))) {
                failed = true;
                return false;
            }
            if (progress) {
                QMutexLocker lock(&progressLock);
                progress(++done, total);
            }
            return true;
        });
    }
    return runJobs(jobs, threads) && !(cancel && *cancel);
}

bool ProfileTables::writeFile(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qWarning() << "ProfileTables: cannot create the folder of" << path;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning() << "ProfileTables: cannot write" << path << file.errorString();
        return false;
    }
    return true;
}

bool ProfileTables::runJobs(const std::vector<std::function<bool()>>& jobs, int threads)
{
    std::atomic<std::size_t> next { 0 };
    std::atomic<bool> ok { true };
    auto worker = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++)
            if (!jobs[i]())
                ok = false;
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::max(1, threads); ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& th : pool)
        th.join();
    return ok;
}

} // namespace FilmData
} // namespace Emulsa
