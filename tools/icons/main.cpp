// Renders a scalable icon into the PNG sizes of the icon theme:
//
//   emulsa-icons SVG OUTPUT_ROOT CATEGORY NAME SIZE...
//
// writes OUTPUT_ROOT/<SIZE>x<SIZE>/CATEGORY/NAME.png for each size. Runs at
// build time, without a display.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 6) {
        std::fprintf(stderr, "usage: emulsa-icons SVG OUTPUT_ROOT CATEGORY NAME SIZE...\n");
        return 2;
    }
    const QString svg = args.at(1);
    for (int i = 5; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "emulsa-icons: bad size %s\n", qPrintable(args.at(i)));
            return 2;
        }
        QImageReader reader(svg, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(
                stderr, "emulsa-icons: cannot read %s: %s\n", qPrintable(svg), qPrintable(reader.errorString()));
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/%3").arg(args.at(2)).arg(size).arg(args.at(3));
        if (!QDir().mkpath(folder)
            || !image.convertToFormat(QImage::Format_ARGB32).save(folder + QLatin1Char('/') + args.at(4) + ".png")) {
            std::fprintf(stderr, "emulsa-icons: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
