#pragma once

#include "media/render/OutputSettings.h"

#include <QString>
#include <QStringList>

namespace Emulsa {

class AssetMetadata;

// Where an item's output goes and what it is called, and the checks made
// before anything is opened for writing.
//
// Movies: <destination>/<name with its extension replaced by ".mov">
// (A001.MP4 gives A001.mov; a name without a "." gets ".mov" appended).
// TIFF sequences: <destination>/<base>/<base>.<index, 6 digits>.tiff, where
// <base> is the name up to its last "." (the whole name when it has none).
class OutputPaths
{
public:
    // The destination with a trailing "/", then for the movie formats the
    // asset's name (file name with its extension); for "Tiff Sequence" the
    // destination folder alone.
    static QString outputFilePath(const t_OutputSettings* settings, const AssetMetadata* asset);
    // The movie file actually written: outputFilePath with ".mov".
    static QString movieFilePath(const t_OutputSettings* settings, const AssetMetadata* asset);
    // The name up to its last ".", or the whole name without one.
    static QString baseName(const QString& name);
    static QString imageFolderPath(const t_OutputSettings* settings, const AssetMetadata* asset);
    // <folder>/<base>.%1.tiff
    static QString imageFilePattern(const t_OutputSettings* settings, const AssetMetadata* asset);
    // The pattern's last "%1" replaced by a frame index, zero-padded to six
    // digits; any other "%" sequence (from the name or the destination) stays.
    static QString imageFileName(const QString& pattern, qint64 index);
    // What the render queue tests to skip an item whose output is kept: the
    // movie file, or the image folder.
    static QString existingOutputPath(const t_OutputSettings* settings, const AssetMetadata* asset);

    // True when both paths name the same file on disk: the same file after
    // following symbolic links, or the same device and inode (hard links).
    // A path that does not exist is compared through its resolved folder.
    static bool isSameFile(const QString& first, const QString& second);

    // Checks made before a movie is opened for writing: a destination, a
    // usable size, an output that does not resolve to the source, and no
    // existing file when existing output is kept. Returns an empty string when
    // the movie may be written, otherwise the message to show.
    static QString movieTargetProblem(const t_OutputSettings* settings, const AssetMetadata* asset);

    // Prepares the image folder of a TIFF sequence. When it does not exist it
    // is made with its missing parents. When it exists and existing output is
    // kept, the item fails. When it exists and may be overwritten, only the
    // earlier images of this clip's pattern are removed, with the unfinished
    // image files a stopped render left there; a folder holding anything
    // else is refused and nothing is deleted. Returns false with
    // *error set on failure.
    static bool prepareImageFolder(const t_OutputSettings* settings, const AssetMetadata* asset, QString* error);

    // The entries of an existing image folder that are neither images of the
    // clip's pattern nor unfinished ones (file names), for the refusal
    // message.
    static QStringList foreignEntries(const QString& folder, const QString& base);
};

} // namespace Emulsa
