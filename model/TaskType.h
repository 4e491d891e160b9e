#pragma once

#include <QtGlobal>

namespace Emulsa {

// The type of a command record: the high 16 bits name the family (category),
// the low 16 bits the command within it. The model dispatches on both.
enum TaskCategory : quint16
{
    ControlCategory = 0x0000,
    SequenceCategory = 0x000F,
    GradeCategory = 0x00FF,
};

constexpr quint32 makeTaskType(quint16 category, quint16 number)
{
    return (quint32(category) << 16) | number;
}

enum TaskType : quint32
{
    // History.
    Undo = makeTaskType(ControlCategory, 0x0001),
    Redo = makeTaskType(ControlCategory, 0x0002),
    GroupBegin = makeTaskType(ControlCategory, 0x0003),
    GroupEnd = makeTaskType(ControlCategory, 0x0004),
    RestoreSettingsSnapshot = makeTaskType(ControlCategory, 0x0005),

    // Sequence and project.
    AddShotNoCheck = makeTaskType(SequenceCategory, 0x0001),
    AddShot = makeTaskType(SequenceCategory, 0x0002),
    RemoveShot = makeTaskType(SequenceCategory, 0x0003),
    SelectShot = makeTaskType(SequenceCategory, 0x0004),
    ItemsForRender = makeTaskType(SequenceCategory, 0x0007),
    SetDefaultProfile = makeTaskType(SequenceCategory, 0x0008),
    AddSequenceItem = makeTaskType(SequenceCategory, 0x0009),
    NewFileToLoad = makeTaskType(SequenceCategory, 0x000A),
    NewFileLoaded = makeTaskType(SequenceCategory, 0x000B),
    SaveProject = makeTaskType(SequenceCategory, 0x000C),
    PositionChanged = makeTaskType(SequenceCategory, 0x0012),
    // The inverse of RemoveShot: puts the removed item itself back at its
    // old place, with its id, grade, points and preset link.
    RestoreShot = makeTaskType(SequenceCategory, 0x0021),

    // Presets.
    SaveAsPreset = makeTaskType(SequenceCategory, 0x000E),
    PresetGroupsNeeded = makeTaskType(SequenceCategory, 0x000F),
    PresetsNeeded = makeTaskType(SequenceCategory, 0x0010),
    RemovePreset = makeTaskType(SequenceCategory, 0x0013),
    RestorePreset = makeTaskType(SequenceCategory, 0x0014),
    PresetGroupsNeededByDialog = makeTaskType(SequenceCategory, 0x0015),
    PresetsNeededByDialog = makeTaskType(SequenceCategory, 0x0016),
    CreatePresetGroup = makeTaskType(SequenceCategory, 0x0017),
    RemovePresetGroup = makeTaskType(SequenceCategory, 0x0018),
    RestorePresetGroup = makeTaskType(SequenceCategory, 0x0019),
    RenamePresetGroup = makeTaskType(SequenceCategory, 0x001A),
    MovePresets = makeTaskType(SequenceCategory, 0x001B),
    CopyPresets = makeTaskType(SequenceCategory, 0x001C),
    PresetsNeededByWidget = makeTaskType(SequenceCategory, 0x001D),
    RenamePreset = makeTaskType(SequenceCategory, 0x001E),
    ExportPresetGroup = makeTaskType(SequenceCategory, 0x001F),
    ImportPresetGroup = makeTaskType(SequenceCategory, 0x0020),
    UpdatePresetGrade = makeTaskType(SequenceCategory, 0x0022),

    // Grade of the current item.
    SetProfile = makeTaskType(GradeCategory, 0x0001),
    SetProfileForAll = makeTaskType(GradeCategory, 0x0002),
    SetExposure = makeTaskType(GradeCategory, 0x0003),
    SetKelvin = makeTaskType(GradeCategory, 0x0004),
    SetStock = makeTaskType(GradeCategory, 0x0005),
    SetStockAmount = makeTaskType(GradeCategory, 0x0006),
    SetCurveAmount = makeTaskType(GradeCategory, 0x0007),
    SetGrainSize = makeTaskType(GradeCategory, 0x0008),
    SetGrainAmount = makeTaskType(GradeCategory, 0x0009),
    SetLowWheel = makeTaskType(GradeCategory, 0x000A),
    SetMidWheel = makeTaskType(GradeCategory, 0x000B),
    SetHighWheel = makeTaskType(GradeCategory, 0x000C),
    SetLift = makeTaskType(GradeCategory, 0x000D),
    SetGamma = makeTaskType(GradeCategory, 0x000E),
    SetGain = makeTaskType(GradeCategory, 0x000F),
    SetSaturation = makeTaskType(GradeCategory, 0x0010),
    SetHistogram = makeTaskType(GradeCategory, 0x0011),
    SetShowOriginal = makeTaskType(GradeCategory, 0x0012),
    SetStartPoint = makeTaskType(GradeCategory, 0x0013),
    SetEndPoint = makeTaskType(GradeCategory, 0x0014),
    SetItemProfile = makeTaskType(GradeCategory, 0x0015),
    ResetSettings = makeTaskType(GradeCategory, 0x0016),
    ExposureAboutToChange = makeTaskType(GradeCategory, 0x0017),
    KelvinAboutToChange = makeTaskType(GradeCategory, 0x0018),
    StockAmountAboutToChange = makeTaskType(GradeCategory, 0x0019),
    CurveAmountAboutToChange = makeTaskType(GradeCategory, 0x001A),
    GrainAmountAboutToChange = makeTaskType(GradeCategory, 0x001B),
    LowWheelAboutToChange = makeTaskType(GradeCategory, 0x001C),
    MidWheelAboutToChange = makeTaskType(GradeCategory, 0x001D),
    HighWheelAboutToChange = makeTaskType(GradeCategory, 0x001E),
    LiftAboutToChange = makeTaskType(GradeCategory, 0x001F),
    GammaAboutToChange = makeTaskType(GradeCategory, 0x0020),
    GainAboutToChange = makeTaskType(GradeCategory, 0x0021),
    SaturationAboutToChange = makeTaskType(GradeCategory, 0x0022),
    HistogramAboutToChange = makeTaskType(GradeCategory, 0x0023),
    ApplyPreset = makeTaskType(GradeCategory, 0x0024),
    SetHalation = makeTaskType(GradeCategory, 0x0025),
    SetBloom = makeTaskType(GradeCategory, 0x0026),
    SetWeave = makeTaskType(GradeCategory, 0x0027),
    SetFlicker = makeTaskType(GradeCategory, 0x0028),
    SetColourGrain = makeTaskType(GradeCategory, 0x0029),
    HalationAboutToChange = makeTaskType(GradeCategory, 0x002A),
    BloomAboutToChange = makeTaskType(GradeCategory, 0x002B),
    WeaveAboutToChange = makeTaskType(GradeCategory, 0x002C),
    FlickerAboutToChange = makeTaskType(GradeCategory, 0x002D),
    ColourGrainAboutToChange = makeTaskType(GradeCategory, 0x002E),
};

constexpr quint16 taskCategory(quint32 type)
{
    return quint16(type >> 16);
}

constexpr quint16 taskNumber(quint32 type)
{
    return quint16(type & 0xFFFFu);
}

// How runCommands is running a command: a new one, or one replayed from the
// undo or the redo stack.
enum RunMode : char
{
    NewCommand = 0,
    Undoing = 1,
    Redoing = 2,
};

} // namespace Emulsa
