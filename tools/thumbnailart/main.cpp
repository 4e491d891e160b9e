// Draws the two thumbnails the media browser shows for clips without a picture
// of their own: "thumb-placeholder.png" while a clip is being read and
// "error-placeholder.png" when it cannot be read. The drawing lives with the
// film-data generator's other artwork (tools/filmdata/Artwork).

#include "Artwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        err << "usage: emulsa-thumbnailart <output folder>\n";
        return 2;
    }
    const QDir folder(args.at(1));
    if (!QDir().mkpath(folder.path())) {
        err << "cannot create " << folder.path() << "\n";
        return 1;
    }
    using Emulsa::FilmData::Artwork;
    const bool ok
        = Artwork::browserThumbnail(false).save(folder.filePath(QStringLiteral("thumb-placeholder.png")), "PNG")
        && Artwork::browserThumbnail(true).save(folder.filePath(QStringLiteral("error-placeholder.png")), "PNG");
    if (!ok) {
        err << "cannot write the images into " << folder.path() << "\n";
        return 1;
    }
    return 0;
}
