// emulsa-demo-picture: writes the film-data generator's sample scene, as the
// standard camera profile records it, to an image file (the demo clip's
// picture).

#include "Artwork.h"
#include "core/filmdata/CameraEncoding.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: emulsa-demo-picture WIDTH HEIGHT OUTPUT.png\n");
        return 2;
    }
    const int width = QByteArray(argv[1]).toInt();
    const int height = QByteArray(argv[2]).toInt();
    const Emulsa::FilmData::CameraProfile* profile = Emulsa::FilmData::CameraEncoding::find("OT01");
    if (width < 16 || height < 16 || !profile) {
        std::fprintf(stderr, "emulsa-demo-picture: bad size or no standard profile\n");
        return 1;
    }
    const QImage picture = Emulsa::FilmData::Artwork::samplePicture(width, height, *profile);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "emulsa-demo-picture: can't write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
