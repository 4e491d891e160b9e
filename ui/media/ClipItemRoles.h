#pragma once

#include <Qt>

namespace Emulsa {

// The item data roles every list of clips (media list, shot list, sequence
// strip) and the preset lists use, so that one delegate paints them all and
// drags between them carry the same values.
enum ClipItemRole : int
{
    // Full file path; in the volume list, the folder's path.
    FilePathRole = Qt::UserRole + 1,
    // Asset id: MD5 of the path's UTF-8 bytes.
    AssetIdRole = Qt::UserRole + 2,
    // Sequence item id, braced uuid text.
    ItemIdRole = Qt::UserRole + 3,
    // Modification time, "yyyy-MM-dd HH:mm:ss".
    ModifiedRole = Qt::UserRole + 4,
    // Volume list: the entry is a favourite.
    FavoriteRole = Qt::UserRole + 5,
    // Sequence strip: in and out points in frames.
    StartFrameRole = Qt::UserRole + 7,
    EndFrameRole = Qt::UserRole + 8,
    // Sequence strip: the asset's frame count when the item was added (the
    // trim shading's scale when the record is not at hand).
    FrameCountRole = Qt::UserRole + 9,
    // Preset lists: the preset number, id and name. The sequence strip keeps
    // the applied preset's id under PresetIdRole.
    PresetNumberRole = Qt::UserRole + 11,
    PresetIdRole = Qt::UserRole + 12,
    PresetNameRole = Qt::UserRole + 13,
    // Sequence strip and preset lists: the fields of the grade that could not
    // be read from its file (QStringList; empty when it was read whole).
    UnreadFieldsRole = Qt::UserRole + 14,
};

} // namespace Emulsa
