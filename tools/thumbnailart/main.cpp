// Draws the two thumbnails the media browser shows for clips without a picture
// of their own: "thumb-placeholder.png" while a clip is being read and
// "error-placeholder.png" when it cannot be read. Both are 444 x 250, the
// thumbnail size of a 16:9 clip, in the application's dark palette.

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

namespace {

constexpr int imageWidth = 444;
constexpr int imageHeight = 250;

const QColor backgroundTop(0x2b, 0x2d, 0x31);
const QColor backgroundBottom(0x1b, 0x1c, 0x1f);
const QColor frameLine(0x4a, 0x4e, 0x55);
const QColor glyphFill(0x33, 0x36, 0x3b);
const QColor glyphLine(0x6b, 0x71, 0x7a);
const QColor accent(0xd9, 0xa4, 0x4a); // warm amber, the grading accent
const QColor alert(0xd0, 0x5c, 0x4b);

void drawBackground(QPainter& p)
{
    QLinearGradient gradient(0, 0, 0, imageHeight);
    gradient.setColorAt(0.0, backgroundTop);
    gradient.setColorAt(1.0, backgroundBottom);
    p.fillRect(0, 0, imageWidth, imageHeight, gradient);

    // A soft vignette draws the eye to the middle.
    QRadialGradient vignette(QPointF(imageWidth / 2.0, imageHeight / 2.0), imageWidth * 0.62);
    vignette.setColorAt(0.0, QColor(255, 255, 255, 10));
    vignette.setColorAt(1.0, QColor(0, 0, 0, 70));
    p.fillRect(0, 0, imageWidth, imageHeight, vignette);

    p.setPen(QPen(frameLine, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, imageWidth - 1, imageHeight - 1));
}

// A frame of film with a row of perforations above and below the picture.
QRectF drawFilmFrame(QPainter& p, const QColor& line)
{
    const QRectF strip(imageWidth / 2.0 - 70, imageHeight / 2.0 - 62, 140, 100);
    p.setPen(QPen(line, 2));
    p.setBrush(glyphFill);
    p.drawRoundedRect(strip, 7, 7);

    const QRectF picture = strip.adjusted(12, 22, -12, -22);
    QLinearGradient sky(picture.topLeft(), picture.bottomLeft());
    sky.setColorAt(0.0, QColor(0x3e, 0x43, 0x4a));
    sky.setColorAt(1.0, QColor(0x2a, 0x2d, 0x32));
    p.setPen(QPen(line, 1.5));
    p.setBrush(sky);
    p.drawRoundedRect(picture, 3, 3);

    // Hills and a low sun: the picture the frame stands for.
    p.save();
    p.setClipRect(picture.adjusted(1, 1, -1, -1));
    QPainterPath hills;
    hills.moveTo(picture.left(), picture.bottom());
    hills.lineTo(picture.left(), picture.bottom() - 14);
    hills.quadTo(picture.left() + 30, picture.bottom() - 34, picture.left() + 58, picture.bottom() - 16);
    hills.quadTo(picture.left() + 82, picture.bottom() - 30, picture.right(), picture.bottom() - 12);
    hills.lineTo(picture.right(), picture.bottom());
    hills.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4d, 0x52, 0x5a));
    p.drawPath(hills);
    p.restore();

    p.setPen(Qt::NoPen);
    p.setBrush(line);
    const qreal holeWidth = 9, holeHeight = 7, gap = 8.5;
    const int holes = int((strip.width() - 16) / (holeWidth + gap));
    const qreal row = holes * holeWidth + (holes - 1) * gap;
    const qreal x0 = strip.center().x() - row / 2;
    for (int i = 0; i < holes; ++i) {
        const qreal x = x0 + i * (holeWidth + gap);
        p.drawRoundedRect(QRectF(x, strip.top() + 7.5, holeWidth, holeHeight), 2, 2);
        p.drawRoundedRect(QRectF(x, strip.bottom() - 7.5 - holeHeight, holeWidth, holeHeight), 2, 2);
    }
    return picture;
}

QImage newCanvas()
{
    QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
    image.fill(backgroundBottom);
    return image;
}

QImage placeholder()
{
    QImage image = newCanvas();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawBackground(p);
    const QRectF picture = drawFilmFrame(p, glyphLine);

    // The sun, in the accent colour.
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawEllipse(QPointF(picture.right() - 22, picture.top() + 14), 6, 6);

    // Three dots, fading: the clip is on its way.
    const qreal y = imageHeight / 2.0 + 72;
    for (int i = 0; i < 3; ++i) {
        QColor dot = accent;
        dot.setAlpha(255 - i * 70);
        p.setBrush(dot);
        p.drawEllipse(QPointF(imageWidth / 2.0 - 18 + i * 18, y), 4.2, 4.2);
    }
    return image;
}

QImage errorPlaceholder()
{
    QImage image = newCanvas();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawBackground(p);
    const QRectF picture = drawFilmFrame(p, glyphLine.darker(115));

    // A slash across the picture: nothing to show.
    p.setPen(QPen(QColor(0x7a, 0x80, 0x88), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(picture.bottomLeft() + QPointF(10, -8), picture.topRight() + QPointF(-10, 8));

    // Warning badge below the frame.
    const QPointF centre(imageWidth / 2.0, imageHeight / 2.0 + 74);
    QPainterPath triangle;
    triangle.moveTo(centre + QPointF(0, -13));
    triangle.lineTo(centre + QPointF(14, 11));
    triangle.lineTo(centre + QPointF(-14, 11));
    triangle.closeSubpath();
    p.setPen(QPen(alert, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(alert.red(), alert.green(), alert.blue(), 40));
    p.drawPath(triangle);
    p.setPen(QPen(alert, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(0, -5), centre + QPointF(0, 3));
    p.setPen(Qt::NoPen);
    p.setBrush(alert);
    p.drawEllipse(centre + QPointF(0, 7.5), 1.6, 1.6);
    return image;
}

} // namespace

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
    const bool ok = placeholder().save(folder.filePath(QStringLiteral("thumb-placeholder.png")), "PNG")
        && errorPlaceholder().save(folder.filePath(QStringLiteral("error-placeholder.png")), "PNG");
    if (!ok) {
        err << "cannot write the images into " << folder.path() << "\n";
        return 1;
    }
    return 0;
}
