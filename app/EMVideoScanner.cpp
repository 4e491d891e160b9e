#include "app/EMVideoScanner.h"

#include "media/metadata/MetadataManager.h"
#include "media/metadata/ThumbnailCache.h"
#include "media/source/VideoFileTypes.h"

#include <QDateTime>
#include <QDebug>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

namespace Emulsa {

EMVideoScanner::EMVideoScanner(const QString& folder, MetadataManager* metadata, QObject* parent)
    : QObject(parent)
    , m_folder(folder)
    , m_metadata(metadata)
    , m_stop(std::make_shared<std::atomic<bool>>(false))
{
    ++s_live;
}

EMVideoScanner::~EMVideoScanner()
{
    --s_live;
}

std::atomic<int> EMVideoScanner::s_live { 0 };

bool EMVideoScanner::isVideoFile(const QString& fileName, const QString&)
{
    return VideoFileTypes::isVideoFileName(fileName);
}

void EMVideoScanner::startOnOwnThread(EMVideoScanner* scanner)
{
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("VideoScan"));
    scanner->moveToThread(thread);
    connect(thread, &QThread::started, scanner, &EMVideoScanner::scan);
    connect(scanner, &EMVideoScanner::loadingFinished, thread, &QThread::quit);
    connect(thread, &QThread::finished, scanner, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::InheritPriority);
}

void EMVideoScanner::scan()
{
    QStringList batch;
    QStringList times;
    QElapsedTimer sinceSent;
    sinceSent.start();
    QDirIterator it(m_folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (!m_stop->load() && it.hasNext()) {
        const QString path = it.next();
        if (m_entryHook)
            m_entryHook(path);
        if (m_stop->load())
            break;
        const QFileInfo info = it.fileInfo();
        if (!info.isFile() || !isVideoFile(info.fileName(), path))
            continue;
        if (m_metadata)
            m_metadata->getMetadata(info);
        batch.append(path);
        times.append(ThumbnailCache::fileTimeText(info.lastModified()));
        if (batch.size() >= batchSize || sinceSent.elapsed() >= batchIntervalMs) {
            emit resultsReady(batch, times);
            batch.clear();
            times.clear();
            sinceSent.restart();
        }
    }
    if (!batch.isEmpty())
        emit resultsReady(batch, times);
    m_finished.store(true);
    emit loadingFinished();
}

} // namespace Emulsa
