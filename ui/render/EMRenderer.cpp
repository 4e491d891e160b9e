#include "ui/render/EMRenderer.h"

#include "app/FileManager.h"
#include "app/RenderQueue.h"
#include "core/OffscreenGLContext.h"
#include "media/clip/SequenceItem.h"
#include "media/encode/TiffOptions.h"
#include "media/render/OutputSettings.h"
#include "model/SettingsManager.h"
#include "ui/render/EMRenderList.h"
#include "ui/render/RenderProgress.h"
#include "ui/render/ResolutionChooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QOffscreenSurface>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
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
    loadSettings();
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
    saveSettings();
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

    m_settingsArea = new QWidget(this);
    auto* settings = new QHBoxLayout(m_settingsArea);
    settings->setContentsMargins(0, 0, 0, 0);
    m_destinationBox = new QComboBox(m_settingsArea);
    m_destinationBox->setMinimumContentsLength(24);
    m_browseButton = new QPushButton(tr("Browse..."), m_settingsArea);
    m_overwriteBox = new QCheckBox(tr("Overwrite existing files"), m_settingsArea);
    m_formatBox = new QComboBox(m_settingsArea);
    m_formatBox->addItems(OutputSettings::formatNames());
    m_sizeBox = new QComboBox(m_settingsArea);
    for (const QSize& size : OutputSettings::outputSizes())
        m_sizeBox->addItem(OutputSettings::sizeLabel(size), size);
    m_sizeBox->addItem(QStringLiteral("Custom"));
    m_sizeBox->setCurrentIndex(OutputSettings::defaultSizeIndex());
    m_previousSizeIndex = m_sizeBox->currentIndex();
    m_fitBox = new QComboBox(m_settingsArea);
    for (int fit = FitWidth; fit <= StretchToFit; ++fit)
        m_fitBox->addItem(fitMethodLabel(fit));
    settings->addWidget(m_destinationBox, 1);
    settings->addWidget(m_browseButton);
    settings->addWidget(m_overwriteBox);
    settings->addWidget(m_formatBox);
    const QStringList tiffMenus[]
        = { TiffOptions::depthNames(), TiffOptions::compressionNames(), TiffOptions::alphaNames() };
    const char* const tiffNames[] = { "tiffDepthBox", "tiffCompressionBox", "tiffAlphaBox" };
    for (int i = 0; i < 3; ++i) {
        m_tiffBoxes[i] = new QComboBox(m_settingsArea);
        m_tiffBoxes[i]->setObjectName(QLatin1String(tiffNames[i]));
        m_tiffBoxes[i]->addItems(tiffMenus[i]);
        m_tiffBoxes[i]->setVisible(m_formatBox->currentIndex() == TiffSequence);
        settings->addWidget(m_tiffBoxes[i]);
    }
    connect(m_formatBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int format) {
        for (QComboBox* box : m_tiffBoxes)
            box->setVisible(format == TiffSequence);
    });
    settings->addWidget(m_sizeBox);
    settings->addWidget(m_fitBox);
    layout->addWidget(m_settingsArea);

    m_progress = new RenderProgress(this);
    layout->addWidget(m_progress);

    auto* bottom = new QHBoxLayout;
    m_statusLabel = new QLabel(this);
    m_statusLabel->setWordWrap(true);
    m_renderButton = new QPushButton(renderLabel, this);
    bottom->addWidget(m_statusLabel, 1);
    bottom->addWidget(m_renderButton);
    layout->addLayout(bottom);

    connect(m_browseButton, &QPushButton::clicked, this, &EMRenderer::browseButtonPressed);
    connect(m_renderButton, &QPushButton::clicked, this, &EMRenderer::renderButtonPressed);
    connect(m_sizeBox, QOverload<int>::of(&QComboBox::activated), this, &EMRenderer::currentResolutionChanged);
    // Kept at once: the choice survives a crash of a later render.
    connect(m_overwriteBox, &QCheckBox::toggled, this, [this] { saveSettings(); });
    connect(
        m_destinationBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &EMRenderer::renderingPathChanged);
}

void EMRenderer::loadSettings()
{
    std::unique_ptr<QSettings> store = SettingsManager::openStore();
    // The stored menu as it was written (so that "LastSelected" still names
    // the same entry); the user's movies folder when nothing is stored yet.
    QStringList folders;
    store->beginGroup(QStringLiteral("RenderingSettings"));
    const int count = store->beginReadArray(QStringLiteral("RenderingPath"));
    for (int i = 0; i < count; ++i) {
        store->setArrayIndex(i);
        const QString folder = store->value(QStringLiteral("Path")).toString();
        if (!folder.isEmpty() && !folders.contains(folder))
            folders << folder;
    }
    store->endArray();
    const int selected = store->value(QStringLiteral("LastSelected"), 0).toInt();
    store->endGroup();
    if (folders.isEmpty())
        folders << QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    while (folders.size() > maxDestinationFolders)
        folders.removeFirst();
    const QSignalBlocker blocker(m_destinationBox);
    m_destinationBox->addItems(folders);
    m_destinationBox->setCurrentIndex(selected >= 0 && selected < folders.size() ? selected : 0);
    m_overwriteBox->setChecked(store->value(QStringLiteral("DefaultSettings/OverwriteMode"), true).toBool());
}

void EMRenderer::saveSettings() const
{
    std::unique_ptr<QSettings> store = SettingsManager::openStore();
    store->beginGroup(QStringLiteral("RenderingSettings"));
    store->beginWriteArray(QStringLiteral("RenderingPath"));
    for (int i = 0; i < m_destinationBox->count(); ++i) {
        store->setArrayIndex(i);
        store->setValue(QStringLiteral("Path"), m_destinationBox->itemText(i));
    }
    store->endArray();
    store->setValue(QStringLiteral("LastSelected"), m_destinationBox->currentIndex());
    store->endGroup();
    store->setValue(QStringLiteral("DefaultSettings/OverwriteMode"), m_overwriteBox->isChecked());
    store->sync();
}

QStringList EMRenderer::destinationFolders() const
{
    QStringList folders;
    for (int i = 0; i < m_destinationBox->count(); ++i)
        folders << m_destinationBox->itemText(i);
    return folders;
}

QString EMRenderer::destination() const
{
    return m_destinationBox->currentText();
}

void EMRenderer::addDestinationFolder(const QString& folder)
{
    if (folder.isEmpty())
        return;
    const int existing = m_destinationBox->findText(folder);
    if (existing >= 0) {
        m_destinationBox->setCurrentIndex(existing);
        return;
    }
    const QSignalBlocker blocker(m_destinationBox);
    while (m_destinationBox->count() >= maxDestinationFolders)
        m_destinationBox->removeItem(0);
    m_destinationBox->addItem(folder);
    m_destinationBox->setCurrentIndex(m_destinationBox->count() - 1);
    saveSettings();
}

void EMRenderer::browseButtonPressed()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Choose destination directory"), QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        addDestinationFolder(folder);
}

void EMRenderer::renderingPathChanged(int index)
{
    Q_UNUSED(index)
    saveSettings();
}

int EMRenderer::customSizeIndex() const
{
    return m_sizeBox->count() - 1;
}

QSize EMRenderer::outputSize() const
{
    if (m_sizeBox->currentIndex() == customSizeIndex())
        return m_customSize;
    return m_sizeBox->currentData().toSize();
}

void EMRenderer::setCustomSize(const QSize& size)
{
    m_customSize = size;
    const QSignalBlocker blocker(m_sizeBox);
    m_sizeBox->setItemText(customSizeIndex(), QStringLiteral("Custom: %1 x %2").arg(size.width()).arg(size.height()));
    m_sizeBox->setCurrentIndex(customSizeIndex());
    m_previousSizeIndex = customSizeIndex();
}

void EMRenderer::currentResolutionChanged(int index)
{
    if (index != customSizeIndex()) {
        m_previousSizeIndex = index;
        return;
    }
    ResolutionChooser dialog(this);
    dialog.setResolution(m_customSize);
    if (dialog.exec() == QDialog::Accepted) {
        setCustomSize(dialog.resolution());
        return;
    }
    qInfo() << "Custom resolution dialog canceled";
    const QSignalBlocker blocker(m_sizeBox);
    m_sizeBox->setCurrentIndex(m_previousSizeIndex);
}

void EMRenderer::setInterfaceEnabled(bool enabled)
{
    m_settingsArea->setEnabled(enabled);
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
    const QSize size = outputSize();
    const QString problem = OutputSettings::formatSizeProblem(size.width(), size.height(), m_formatBox->currentIndex());
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
    const QString folder = destination();
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

    QString folder = destination();
    EncoderSettings encoder;
    t_OutputSettings settings;
    OutputSettings::fill(&settings, m_formatBox->currentIndex(), &folder, &encoder, outputSize(),
        FitMethod(m_fitBox->currentIndex()), !m_overwriteBox->isChecked());
    OutputSettings::setTiffOptions(
        &settings, m_tiffBoxes[0]->currentIndex(), m_tiffBoxes[1]->currentIndex(), m_tiffBoxes[2]->currentIndex());

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
