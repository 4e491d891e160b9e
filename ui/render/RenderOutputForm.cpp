#include "ui/render/RenderOutputForm.h"

#include "media/encode/TiffOptions.h"
#include "model/SettingsManager.h"
#include "ui/render/ResolutionChooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

namespace Emulsa {

RenderOutputForm::RenderOutputForm(QWidget* parent)
    : QWidget(parent)
    , m_destinationBox(new QComboBox(this))
    , m_browseButton(new QPushButton(tr("Browse..."), this))
    , m_overwriteBox(new QCheckBox(tr("Overwrite existing files"), this))
    , m_formatBox(new QComboBox(this))
    , m_sizeBox(new QComboBox(this))
    , m_fitBox(new QComboBox(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_destinationBox->setMinimumContentsLength(24);
    m_formatBox->addItems(OutputSettings::formatNames());
    for (const QSize& size : OutputSettings::outputSizes())
        m_sizeBox->addItem(OutputSettings::sizeLabel(size), size);
    m_sizeBox->addItem(QStringLiteral("Custom"));
    m_sizeBox->setCurrentIndex(OutputSettings::defaultSizeIndex());
    m_previousSizeIndex = m_sizeBox->currentIndex();
    for (int fit = FitWidth; fit <= StretchToFit; ++fit)
        m_fitBox->addItem(fitMethodLabel(fit));
    layout->addWidget(m_destinationBox, 1);
    layout->addWidget(m_browseButton);
    layout->addWidget(m_overwriteBox);
    layout->addWidget(m_formatBox);
    const QStringList tiffMenus[]
        = { TiffOptions::depthNames(), TiffOptions::compressionNames(), TiffOptions::alphaNames() };
    const char* const tiffNames[] = { "tiffDepthBox", "tiffCompressionBox", "tiffAlphaBox" };
    for (int i = 0; i < 3; ++i) {
        m_tiffBoxes[i] = new QComboBox(this);
        m_tiffBoxes[i]->setObjectName(QLatin1String(tiffNames[i]));
        m_tiffBoxes[i]->addItems(tiffMenus[i]);
        m_tiffBoxes[i]->setVisible(m_formatBox->currentIndex() == TiffSequence);
        layout->addWidget(m_tiffBoxes[i]);
    }
    connect(m_formatBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int format) {
        for (QComboBox* box : m_tiffBoxes)
            box->setVisible(format == TiffSequence);
    });
    layout->addWidget(m_sizeBox);
    layout->addWidget(m_fitBox);
    loadSettings();

    connect(m_browseButton, &QPushButton::clicked, this, &RenderOutputForm::browse);
    connect(m_sizeBox, QOverload<int>::of(&QComboBox::activated), this, &RenderOutputForm::sizeChosen);
    // Kept at once: the choices survive a crash of a later render.
    connect(m_overwriteBox, &QCheckBox::toggled, this, [this] { saveSettings(); });
    connect(m_destinationBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { saveSettings(); });
}

RenderOutputForm::~RenderOutputForm()
{
    saveSettings();
}

void RenderOutputForm::loadSettings()
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
    const QSignalBlocker blockOverwrite(m_overwriteBox);
    m_overwriteBox->setChecked(store->value(QStringLiteral("DefaultSettings/OverwriteMode"), true).toBool());
}

void RenderOutputForm::saveSettings() const
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

QStringList RenderOutputForm::destinationFolders() const
{
    QStringList folders;
    for (int i = 0; i < m_destinationBox->count(); ++i)
        folders << m_destinationBox->itemText(i);
    return folders;
}

QString RenderOutputForm::destination() const
{
    return m_destinationBox->currentText();
}

void RenderOutputForm::addDestinationFolder(const QString& folder)
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

void RenderOutputForm::browse()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Choose destination directory"), QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        addDestinationFolder(folder);
}

int RenderOutputForm::customSizeIndex() const
{
    return m_sizeBox->count() - 1;
}

QSize RenderOutputForm::outputSize() const
{
    if (m_sizeBox->currentIndex() == customSizeIndex())
        return m_customSize;
    return m_sizeBox->currentData().toSize();
}

void RenderOutputForm::setCustomSize(const QSize& size)
{
    m_customSize = size;
    const QSignalBlocker blocker(m_sizeBox);
    m_sizeBox->setItemText(customSizeIndex(), QStringLiteral("Custom: %1 x %2").arg(size.width()).arg(size.height()));
    m_sizeBox->setCurrentIndex(customSizeIndex());
    m_previousSizeIndex = customSizeIndex();
}

void RenderOutputForm::sizeChosen(int index)
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

void RenderOutputForm::fill(t_OutputSettings* settings, QString* folder, EncoderSettings* encoder) const
{
    *folder = destination();
    OutputSettings::fill(settings, m_formatBox->currentIndex(), folder, encoder, outputSize(),
        FitMethod(m_fitBox->currentIndex()), !m_overwriteBox->isChecked());
    OutputSettings::setTiffOptions(
        settings, m_tiffBoxes[0]->currentIndex(), m_tiffBoxes[1]->currentIndex(), m_tiffBoxes[2]->currentIndex());
}

} // namespace Emulsa
