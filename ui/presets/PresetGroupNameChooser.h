#pragma once

#include <QDialog>

class QLineEdit;

namespace Emulsa {

// "Choose Group Name": asks for the name of a preset group.
class PresetGroupNameChooser : public QDialog
{
    Q_OBJECT

public:
    explicit PresetGroupNameChooser(QWidget* parent = nullptr, const QString& name = QString());

    // The name entered, trimmed.
    QString name() const;
    QLineEdit* nameEdit() const { return m_edit; }

private:
    QLineEdit* m_edit;
};

} // namespace Emulsa
