#include "ui/presets/PresetGroupNameChooser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Emulsa {

PresetGroupNameChooser::PresetGroupNameChooser(QWidget* parent, const QString& name)
    : QDialog(parent)
    , m_edit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Choose Group Name"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("PRESET GROUP"), this));
    layout->addWidget(new QLabel(QStringLiteral("Enter group name:"), this));
    m_edit->setPlaceholderText(QStringLiteral("Group name"));
    m_edit->setText(name);
    layout->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // An empty name is no name.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(!name.trimmed().isEmpty());
    connect(
        m_edit, &QLineEdit::textChanged, ok, [ok](const QString& text) { ok->setEnabled(!text.trimmed().isEmpty()); });
}

QString PresetGroupNameChooser::name() const
{
    return m_edit->text().trimmed();
}

} // namespace Emulsa
