#pragma once

#include "media/render/OutputSettings.h"

#include <QSize>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace Emulsa {

// Where and how the render tab writes: the destination folder menu with its
// "Browse..." button, "Overwrite existing files", the output format with the
// TIFF options (shown for the TIFF sequence only), the frame size (a
// "Custom" entry asks for one) and the fit.
//
// The folder menu holds at most maxDestinationFolders folders, the user's
// movies folder when none is stored. The menu, its selection and the
// overwrite choice are kept in the settings store ("RenderingSettings",
// "DefaultSettings/OverwriteMode") as they change and when the form goes.
class RenderOutputForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int maxDestinationFolders = 10;

    explicit RenderOutputForm(QWidget* parent = nullptr);
    ~RenderOutputForm() override;

    QComboBox* destinationBox() const { return m_destinationBox; }
    QComboBox* formatBox() const { return m_formatBox; }
    QComboBox* sizeBox() const { return m_sizeBox; }
    QComboBox* fitBox() const { return m_fitBox; }
    QComboBox* tiffDepthBox() const { return m_tiffBoxes[0]; }
    QComboBox* tiffCompressionBox() const { return m_tiffBoxes[1]; }
    QComboBox* tiffAlphaBox() const { return m_tiffBoxes[2]; }
    QCheckBox* overwriteBox() const { return m_overwriteBox; }

    QString destination() const;
    QStringList destinationFolders() const;
    // Selects the folder, adding it (and dropping the oldest beyond the
    // limit) when the menu lacks it.
    void addDestinationFolder(const QString& folder);
    // Asks for a folder ("Choose destination directory") and adds it.
    void browse();

    QSize outputSize() const;
    void setCustomSize(const QSize& size);
    // A size entry was picked: "Custom" asks for the size, going back to
    // the entry before when the question is cancelled.
    void sizeChosen(int index);

    // The settings of a render as the form stands. `folder` and `encoder`
    // are the caller's: `settings` points into them.
    void fill(t_OutputSettings* settings, QString* folder, EncoderSettings* encoder) const;

    void saveSettings() const;

private:
    void loadSettings();
    int customSizeIndex() const;

    QComboBox* m_destinationBox;
    QPushButton* m_browseButton;
    QCheckBox* m_overwriteBox;
    QComboBox* m_formatBox;
    QComboBox* m_tiffBoxes[3] = {};
    QComboBox* m_sizeBox;
    QComboBox* m_fitBox;
    QSize m_customSize = QSize(1920, 1080);
    int m_previousSizeIndex = 0;
};

} // namespace Emulsa
