#pragma once

#include "core/ClipSettings.h"

#include <QByteArray>
#include <QImage>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace Emulsa {

// A named, stored grade. A value type: the store keeps its own copies and
// hands out copies, so a preset read by a view never changes or disappears
// under it.
struct Preset
{
    // A new preset gets a fresh uuid.
    Preset();
    Preset(const QUuid& uuid, const QString& name, qint32 number, const ClipSettings& settings);

    // Name, number, settings and unread fields, with the uuid kept or a fresh
    // one drawn.
    Preset copy(bool keepUuid) const;
    // The braced text form that travels between model, controller and views.
    QByteArray id() const { return uuid.toByteArray(); }
    // What the views show about a grade that could not be read whole, naming
    // the fields; empty when it was read whole.
    QString unreadFieldsWarning() const;

    QUuid uuid;
    QString name;
    qint32 number = 0;
    ClipSettings settings;
    // The fields of the grade that could not be read from the preset's file
    // (see GradeBlockReader::unreadFields), and those the file names as
    // unread because an earlier read could not read them (the store writes
    // them back with its files); the grade holds defaults there. Empty for a
    // grade read whole.
    QStringList unreadFields;
};

// A preset taken out of the store, with the group it came from: what undoing
// a removal puts back.
struct RemovedPreset
{
    qint32 groupId = -1;
    Preset preset;
};

// A preset's grade with what goes with it: what updating a preset from a
// clip replaces, and what undoing the update puts back.
struct PresetGrade
{
    ClipSettings settings;
    QStringList unreadFields;
    // The stored thumbnail; null where the preset has none of its own (the
    // placeholder stands in).
    QImage thumbnail;
};

} // namespace Emulsa

Q_DECLARE_METATYPE(Emulsa::Preset)
