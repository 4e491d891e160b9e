#include "ui/render/EMRenderer.h"

#include "app/FileManager.h"
#include "app/RenderQueue.h"
#include "core/OffscreenGLContext.h"
#include "media/clip/SequenceItem.h"
#include "media/render/OutputSettings.h"
#include "ui/render/EMRenderList.h"
#include "ui/render/RenderOutputForm.h"
#include "ui/render/RenderProgress.h"

#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QOffscreenSurface>
#include <QPushButton>
#include <QVBoxLayout>

namespace Emulsa {

namespace {

const QString renderLabel = QStringLiteral("Render Clips");
const QString cancelLabel = QStringLiteral("Cancel");
const QString cancelingLabel = QStringLiteral("Canceling...");

} // namespace

EMRenderer::EMRenderer(QWidget* parent)
    : QWidget(parent)
    , m_queue(new RenderQueue(this))
{
    buildInterface();
    connect(m_queue, &RenderQueue::outputAssigned, m_list, &EMRenderList::setRowOutput);
    connect(m_queue, &RenderQueue::totalRangeChanged, this, &EMRenderer::totalProgressRangedChanged);
    connect(m_queue, &RenderQueue::totalProgressUpdated, this, &EMRenderer::totalProgressUpdated);
    connect(m_queue, &RenderQueue::itemProgressUpdated, this, &EMRenderer::singleProgressUpdated);
    connect(m_queue, &RenderQueue::itemFailed, this, &EMRenderer::singleItemFailed);
    connect(m_queue, &RenderQueue::speedSampled, this, &EMRenderer::updateRenderingProgress);
    connect(m_queue, &RenderQueue::finished, this, &EMRenderer::renderingFinished);
    connect(m_list, &EMRenderList::showInFolderRequested, this, [](const QString& path) { showInFileManager(path); });
}

EMRenderer::~EMRenderer()
{
    // A render in progress is canceled and its thread waited for.
    delete m_queue;
    m_queue = nullptr;
}

bool EMRenderer::isRendering() const
{
    return m_queue->isRendering();
}

RenderManager* EMRenderer::worker() const
{
    return m_queue->worker();
}

const QThread* EMRenderer::workerThread() const
{
    return m_queue->workerThread();
}

void EMRenderer::buildInterface()
{
    auto* layout = new QVBoxLayout(this);
    m_list = new EMRenderList(this);
    layout->addWidget(m_list, 1);

    m_output = new RenderOutputForm(this);
    layout->addWidget(m_output);

    m_progress = new RenderProgress(this);
    layout->addWidget(m_progress);

    auto* bottom = new QHBoxLayout;
    m_statusLabel = new QLabel(this);
    m_statusLabel->setWordWrap(true);
    m_renderButton = new QPushButton(renderLabel, this);
    bottom->addWidget(m_statusLabel, 1);
    bottom->addWidget(m_renderButton);
    layout->addLayout(bottom);

    connect(m_renderButton, &QPushButton::clicked, this, &EMRenderer::renderButtonPressed);
}

void EMRenderer::browseButtonPressed()
{
    m_output->browse();
}

void EMRenderer::renderingPathChanged(int index)
{
    Q_UNUSED(index)
    m_output->saveSettings();
}

void EMRenderer::currentResolutionChanged(int index)
{
    m_output->sizeChosen(index);
}

void EMRenderer::setInterfaceEnabled(bool enabled)
{
    m_output->setEnabled(enabled);
    m_list->setSelectionMode(enabled ? QAbstractItemView::ExtendedSelection : QAbstractItemView::NoSelection);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_list->topLevelItem(i);
        row->setFlags(enabled ? (row->flags() | Qt::ItemIsUserCheckable) : (row->flags() & ~Qt::ItemIsUserCheckable));
    }
    emit renderingStateChanged(!enabled);
}

void EMRenderer::renderButtonPressed()
{
    if (m_queue->isRendering()) {
        cancelRendering();
        return;
    }
    if (m_waitingForItems)
        return;
    m_statusLabel->clear();
    // The renderer's own rule, before anything is asked for or started.
    const QSize size = m_output->outputSize();
    const QString problem
        = OutputSettings::formatSizeProblem(size.width(), size.height(), m_output->formatBox()->currentIndex());
    if (!problem.isEmpty()) {
        m_statusLabel->setText(problem);
        qWarning().noquote() << "EMRenderer: frame size refused:" << problem;
        return;
    }
    QList<QByteArray> ids = m_list->checkedItemIds();
    if (ids.isEmpty()) {
        m_statusLabel->setText(m_list->topLevelItemCount() == 0 ? tr("The sequence has no clips to render.")
                                                                : tr("Tick the clips to render."));
        return;
    }
    // The default destination (the user's movies folder) need not exist yet
    // on a fresh account: make the chosen folder rather than fail every clip.
    const QString folder = m_output->destination();
    if (!folder.isEmpty() && !QDir().mkpath(folder)) {
        m_statusLabel->setText(tr("The folder %1 cannot be created.").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    setInterfaceEnabled(false);
    m_waitingForItems = true;
    emit getSequenceItemsFromUuids(&ids);
}

void EMRenderer::itemsReadyToBeRendered(QList<const SequenceItem*>* items)
{
    if (!m_waitingForItems || m_queue->isRendering()) {
        // Not asked for, or a render runs already: the list is ours to drop.
        SequenceItem::deleteSnapshots(items);
        return;
    }
    m_waitingForItems = false;
    if (!items || items->isEmpty()) {
        SequenceItem::deleteSnapshots(items);
        setInterfaceEnabled(true);
        return;
    }
    if (!m_surface) {
        m_surface = std::make_unique<QOffscreenSurface>();
        OffscreenGLContext::requestCoreFormat(m_surface.get());
        m_surface->create();
    }

    QString folder;
    EncoderSettings encoder;
    t_OutputSettings settings;
    m_output->fill(&settings, &folder, &encoder);

    m_renderButton->setText(cancelLabel);
    m_list->resetProgress();
    m_progress->start();
    // Sets the rows' output names and the total on the way.
    if (!m_queue->start(items, settings, m_surface.get())) {
        m_renderButton->setText(renderLabel);
        setInterfaceEnabled(true);
    }
}

void EMRenderer::cancelRendering()
{
    if (!m_queue->isRendering() || m_queue->isCanceling())
        return;
    m_queue->cancel();
    m_renderButton->setText(cancelingLabel);
    m_renderButton->setEnabled(false);
}

void EMRenderer::renderingFinished()
{
    showSummary(m_queue->wasCanceled());
    m_renderButton->setText(renderLabel);
    m_renderButton->setEnabled(true);
    setInterfaceEnabled(true);
}

void EMRenderer::showSummary(bool canceled)
{
    const int done = m_progress->done();
    const int total = m_progress->total();
    const QString time = m_progress->showSummary(m_queue->elapsedMs());
    m_statusLabel->setText(canceled ? tr("Render canceled after %1 of %2 frames (%3).").arg(done).arg(total).arg(time)
                                    : tr("Render finished: %1 frames in %2.").arg(done).arg(time));
}

void EMRenderer::totalProgressRangedChanged(int min, int max)
{
    m_progress->setRange(min, max);
}

void EMRenderer::totalProgressUpdated(int value)
{
    m_progress->setDone(value);
}

void EMRenderer::singleProgressUpdated(QUuid uuid, int value)
{
    m_list->sequenceItemRenderingProgress(uuid, value);
}

void EMRenderer::singleItemFailed(QUuid uuid, QString message)
{
    m_list->setRowFailure(uuid, message);
}

void EMRenderer::updateRenderingProgress()
{
    // The labels keep the last render's summary while idle.
    if (!m_queue->isRendering())
        return;
    m_progress->showSpeed(m_queue->framesPerSecond(), m_queue->elapsedMs());
}

} // namespace Emulsa
