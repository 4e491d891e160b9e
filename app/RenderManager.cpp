#include "app/RenderManager.h"

#include "app/RenderCrashLog.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/render/OutputPaths.h"
#include "media/render/WinOffscreenRenderer.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>

namespace Emulsa {

RenderManager::RenderManager(
    QList<const SequenceItem*>* items, const t_OutputSettings& settings, QOffscreenSurface* surface, QObject* parent)
    : QObject(parent)
    , m_items(items ? items : new QList<const SequenceItem*>)
    , m_settings(settings)
    , m_surface(surface)
{
    qRegisterMetaType<QUuid>("QUuid");
    m_destination = settings.destination ? *settings.destination : QString();
    m_settings.destination = &m_destination;
    if (settings.encoder) {
        m_encoder = *settings.encoder;
        m_settings.encoder = &m_encoder;
    }
    m_items->removeAll(nullptr);
    for (const SequenceItem* item : qAsConst(*m_items))
        m_totalFrames += int(qMax<qint64>(0, item->lengthInFrames()));
    assignOutputNames();
}

RenderManager::~RenderManager()
{
    SequenceItem::deleteSnapshots(m_items);
}

// Each snapshot gets its own copy of its asset record, named as
// OutputPaths::distinctNames says.
void RenderManager::assignOutputNames()
{
    QList<const AssetMetadata*> assets;
    for (const SequenceItem* item : qAsConst(*m_items))
        assets << item->asset;
    const QStringList names = OutputPaths::distinctNames(&m_settings, assets);
    for (int i = 0; i < m_items->size(); ++i) {
        auto* item = const_cast<SequenceItem*>(m_items->at(i));
        if (!item->asset)
            continue;
        auto asset = std::make_unique<AssetMetadata>(*item->asset);
        if (names.at(i) != asset->name)
            m_renamed.insert(item->uuid, true);
        asset->name = names.at(i);
        const QString path = OutputPaths::existingOutputPath(&m_settings, asset.get());
        m_outputPaths.insert(item->uuid, path);
        m_outputNames.insert(item->uuid, path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
        item->asset = asset.get();
        m_assets.push_back(std::move(asset));
    }
}

void RenderManager::announceTotal()
{
    emit totalProgressRangedChanged(0, m_totalFrames);
    emit totalProgressUpdated(0);
}

void RenderManager::cancel()
{
    m_running = false;
}

void RenderManager::run()
{
    {
        // Crashes are logged as render crashes while the clips render, and
        // only then.
        const RenderCrashLog::Scope crashLog;
        while (m_running && !m_items->isEmpty()) {
            const SequenceItem* item = m_items->takeFirst();
            renderItem(item);
            delete item;
            QCoreApplication::processEvents();
        }
    }
    emit finishedAll();
    QCoreApplication::processEvents();
}

void RenderManager::renderItem(const SequenceItem* item)
{
    const QUuid uuid = item->uuid;
    if (!item->asset) {
        emit singleProgressUpdated(uuid, -4);
        emit singleItemFailed(uuid, QStringLiteral("The clip has no media file."));
        return;
    }
    // The renderer's own output path: the ".mov" movie or the image folder.
    if (m_settings.keepExisting && QFileInfo::exists(m_outputPaths.value(uuid))) {
        emit singleProgressUpdated(uuid, -3);
        return;
    }

    WinOffscreenRenderer renderer(&m_running, m_surface);
    connect(
        &renderer, &OffscreenRenderer::progressUpdated, this, &RenderManager::progressUpdated, Qt::DirectConnection);
    qDebug() << "Init. rendering job now";
    if (!renderer.initialize(item, &m_settings)) {
        qWarning() << "Renderer fail to initialize...";
        emit singleProgressUpdated(uuid, -4);
        emit singleItemFailed(uuid, renderer.lastError());
        return;
    }
    qDebug() << "rendering now";
    const bool ok = OutputSettings::isMovieFormat(m_settings.format) ? renderer.run() : renderer.runImageMode();
    if (!ok) {
        if (m_running) {
            qWarning().noquote() << "Something went wrong while rendering..." << renderer.lastError();
            emit singleProgressUpdated(uuid, -4);
            emit singleItemFailed(uuid, renderer.lastError());
        } else {
            emit singleProgressUpdated(uuid, -1);
        }
    }
    disconnect(&renderer, nullptr, this, nullptr);
    qDebug() << "Deleting rendering job now.";
}

void RenderManager::progressUpdated(const QUuid* uuid, int value)
{
    if (value > 0)
        ++m_completed;
    emit singleProgressUpdated(uuid ? *uuid : QUuid(), value);
    emit totalProgressUpdated(m_completed);
}

} // namespace Emulsa
