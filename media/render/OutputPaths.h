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
// Image sequences: <destination>/<base>/<base>.<index, 6 digits>.<ext>, where
// <base> is the name up to its last "." (the whole name when it has none) and
// <ext> the format's ("tiff", "dpx", "exr"). Images of any of these
// extensions in an image folder count as the clip's own.
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
    // <folder>/<base>.%1.<ext>
    static QString imageFilePattern(const t_OutputSettings* settings, const AssetMetadata* asset);
    // The same pattern in another folder (the working folder).
    static QString imageFilePatternIn(
        const QString& folder, const t_OutputSettings* settings, const AssetMetadata* asset);
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

    // Prepares a TIFF sequence. The images are written into a hidden working
    // folder beside the image folder (".<base>.<random>.part"), which
    // finishImageFolder() renames into place once every image is written:
    // the image folder, when it exists, always holds a finished sequence.
    // Refused: an image folder that is not a folder, one that exists when
    // existing output is kept, and one holding anything but this clip's
    // images (nothing is deleted then). The working folders a stopped render
    // of this clip left are removed first. Returns the working folder, or an
    // empty string with *error set.
    static QString prepareImageFolder(const t_OutputSettings* settings, const AssetMetadata* asset, QString* error);

    // Puts the finished working folder in place as the image folder. An
    // earlier image folder is replaced in one step when it may be, then
    // removed; when existing output is kept, or the earlier folder came to
    // hold other files meanwhile, the item fails and the earlier folder
    // stays. The working folder is removed whenever it is not put in place.
    static bool finishImageFolder(
        const t_OutputSettings* settings, const AssetMetadata* asset, const QString& working, QString* error);

    // Removes a working or an earlier image folder of the clip with base name
    // `base`: its images and unfinished images, then the folder itself when
    // that left it empty. A symbolic link is removed itself, never what it
    // points to. Returns true when nothing is left at `folder`.
    static bool removeImageFolder(const QString& folder, const QString& base);

    // Removes the working folders a stopped render of this clip left in the
    // destination (folders only, never a link; see removeImageFolder).
    // Returns how many were removed.
    static int removeLeftoverImageFolders(const t_OutputSettings* settings, const AssetMetadata* asset);

    // The working files a stopped render left in an image folder for the
    // images of frames first .. end - 1 of the clip with base name `base`
    // (files only, never a link; see PartFile). Other frames' are left to
    // whoever renders them. Returns how many were removed.
    static int removeLeftoverImageParts(const QString& folder, const QString& base, qint64 first, qint64 end);

    // `name` with "_n" before its extension (A001.MP4, 2: A001_2.MP4).
    static QString suffixedName(const QString& name, int n);
    // The names under which the clips of one job write their output, in
    // order: the clip's own name, or for a clip whose output would fall on an
    // earlier one's, the name suffixed with "_2", "_3" and so on until it
    // does not.
    static QStringList distinctNames(const t_OutputSettings* settings, const QList<const AssetMetadata*>& assets);

    // The entries of an existing image folder that are neither images of the
    // clip's pattern nor unfinished ones (file names), for the refusal
    // message.
    static QStringList foreignEntries(const QString& folder, const QString& base);
};

} // namespace Emulsa
