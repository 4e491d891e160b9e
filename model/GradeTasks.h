#pragma once

#include "core/ClipSettings.h"
#include "core/GradeFields.h"
#include "model/BaseTask.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace Emulsa {

// The records of the grade commands. Every setter carries one value of the
// current item's grade (or of its points); a setter that is kept as an
// inverse holds the value it replaced.
template<typename T> struct GradeValueTask : BaseTask
{
    GradeValueTask(quint32 type, const T& value)
        : BaseTask(type)
        , value(value)
    {
    }
    T value;
};

// The setters of the continuous fields (SetExposure .. SetHistogram, SetHalation ..):
// a value of the field's own type.
using GradeFieldTask = GradeValueTask<GradeValue>;
// SetStock (stock code), SetGrainSize (gauge name).
using TextGradeTask = GradeValueTask<QString>;
// SetProfile, SetProfileForAll (camera profile id), SetStartPoint,
// SetEndPoint (frame).
using UIntGradeTask = GradeValueTask<quint32>;
// SetShowOriginal.
using BoolGradeTask = GradeValueTask<bool>;

// The setter of a continuous field, and the command that starts its drag.
quint32 setterType(GradeField field);
quint32 aboutToChangeType(GradeField field);

// SetItemProfile: the camera profile of one item other than the current one,
// named by its id (SetProfileForAll makes these).
struct ItemProfileTask : BaseTask
{
    ItemProfileTask(quint32 profile, const QByteArray& itemId)
        : BaseTask(SetItemProfile)
        , profile(profile)
        , itemId(itemId)
    {
    }
    quint32 profile;
    QByteArray itemId;
};

// ApplyPreset: a preset's grade for the named items (the current item when
// the list is empty).
struct ApplyPresetTask : BaseTask
{
    ApplyPresetTask(const QByteArray& presetId, const QList<QByteArray>& itemIds)
        : BaseTask(ApplyPreset)
        , presetId(presetId)
        , itemIds(itemIds)
    {
    }
    QByteArray presetId;
    QList<QByteArray> itemIds;
};

} // namespace Emulsa
