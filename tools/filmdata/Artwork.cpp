#include "Artwork.h"

#include "DataWriter.h"
#include "core/ClipSettings.h"
#include "core/GradeTables.h"
#include "core/ReferenceGrade.h"
#include "core/filmdata/FilmModel.h"
#include "core/filmdata/TableBuilder.h"

#include <QBuffer>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace Emulsa {
namespace FilmData {

namespace {

// Reflectances of the colour chart, linear Rec. 709, after the common
// 24-patch checker: skin, sky, foliage, primaries, secondaries, greys.
const Vec3 kChart[24] = {
    { 0.17, 0.09, 0.06 },
    { 0.55, 0.32, 0.24 },
    { 0.12, 0.19, 0.34 },
    { 0.10, 0.15, 0.06 },
    { 0.24, 0.22, 0.44 },
    { 0.13, 0.52, 0.41 },
    { 0.68, 0.20, 0.03 },
    { 0.07, 0.10, 0.38 },
    { 0.54, 0.09, 0.12 },
    { 0.10, 0.04, 0.14 },
    { 0.34, 0.50, 0.05 },
    { 0.75, 0.36, 0.02 },
    { 0.02, 0.05, 0.29 },
    { 0.07, 0.30, 0.07 },
    { 0.44, 0.03, 0.04 },
    { 0.84, 0.58, 0.01 },
    { 0.51, 0.08, 0.29 },
    { 0.01, 0.24, 0.37 },
    { 0.90, 0.90, 0.90 },
    { 0.59, 0.59, 0.59 },
    { 0.36, 0.36, 0.36 },
    { 0.19, 0.19, 0.19 },
    { 0.09, 0.09, 0.09 },
    { 0.03, 0.03, 0.03 },
};

Vec3 mixv(const Vec3& a, const Vec3& b, double t)
{
    return { a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t };
}

Vec3 scale(const Vec3& a, double k)
{
    return { a[0] * k, a[1] * k, a[2] * k };
}

// Scene light at (u, v), u across 0..1, v down 0..1, for a 16:9 frame.
Vec3 sceneAt(double u, double v)
{
    const double aspect = 16.0 / 9.0;
    // Grey wedge along the bottom: twelve steps, one stop apart, mid-grey seventh.
    if (v > 0.93) {
        const int step = std::min(11, int(u * 12.0));
        const double grey = 0.18 * std::pow(2.0, step - 6);
        const double edge = std::fmod(u * 12.0, 1.0);
        return (edge < 0.03 || v < 0.935) ? Vec3 { 0.01, 0.01, 0.01 } : Vec3 { grey, grey, grey };
    }
    // Colour chart, lower right.
    const double cu0 = 0.47, cu1 = 0.96, cv0 = 0.60, cv1 = 0.90;
    if (u >= cu0 && u < cu1 && v >= cv0 && v < cv1) {
        const double pu = (u - cu0) / (cu1 - cu0) * 6.0, pv = (v - cv0) / (cv1 - cv0) * 4.0;
        const double fu = pu - std::floor(pu), fv = pv - std::floor(pv);
        if (fu < 0.08 || fu > 0.92 || fv < 0.08 || fv > 0.92)
            return { 0.015, 0.015, 0.015 };
        return kChart[int(pv) * 6 + int(pu)];
    }
    // Portrait study, left: head, hair and shoulders lit from the upper right.
    const double hx = 0.22, hy = 0.50, rx = 0.085, ry = 0.17;
    const double dx = (u - hx) / rx, dy = (v - hy) / ry;
    const double hairDx = (u - hx) / (rx * 1.18), hairDy = (v - hy + 0.03) / (ry * 1.12);
    const Vec3 light { 0.55, -0.45, 0.70 };
    if (dx * dx + dy * dy < 1.0) {
        const double nz = std::sqrt(std::max(0.0, 1.0 - dx * dx - dy * dy));
        const double lambert = std::max(0.0, dx * light[0] + dy * light[1] + nz * light[2]);
        Vec3 skin { 0.50, 0.31, 0.23 };
        const double cheek = std::exp(-(std::pow((u - hx - 0.035) / 0.03, 2) + std::pow((v - hy - 0.03) / 0.04, 2)));
        skin = mixv(skin, { 0.55, 0.24, 0.20 }, 0.5 * cheek);
        return scale(skin, 0.22 + 1.05 * lambert);
    }
    if (hairDx * hairDx + hairDy * hairDy < 1.0 && v < hy + 0.05)
        return { 0.045, 0.028, 0.018 };
    const double shoulders = 0.74 + 0.25 * std::pow(std::abs(u - hx) / 0.2, 2.0);
    if (v > shoulders && std::abs(u - hx) < 0.21)
        return scale(Vec3 { 0.05, 0.07, 0.16 }, 0.7 + 0.6 * (u - hx + 0.2));
    // Land below the skyline: distant hills fading into a meadow.
    const double skyline = 0.57 + 0.045 * std::sin(u * 5.3 + 1.0) + 0.02 * std::sin(u * 13.1 * aspect / 1.8);
    if (v > skyline) {
        const double depth = std::clamp((v - skyline) / 0.3, 0.0, 1.0);
        const Vec3 far { 0.10, 0.14, 0.16 }, near { 0.07, 0.13, 0.035 };
        const double texture = 1.0 + 0.12 * std::sin(u * 190.0 + std::sin(v * 70.0) * 3.0) * depth;
        return scale(mixv(far, near, std::sqrt(depth)), texture);
    }
    // Sky: deep blue overhead to a pale, warm horizon, and a low sun.
    const double t = std::clamp(v / skyline, 0.0, 1.0);
    Vec3 sky = mixv({ 0.10, 0.20, 0.55 }, { 0.75, 0.72, 0.70 }, t * t);
    const double sx = (u - 0.80) * aspect, sy = v - 0.30;
    const double d2 = sx * sx + sy * sy;
    const double glow = 1.6 * std::exp(-d2 / 0.012) + 0.5 * std::exp(-d2 / 0.08);
    sky = { sky[0] + glow * 1.0, sky[1] + glow * 0.78, sky[2] + glow * 0.5 };
    if (d2 < 0.0009)
        return { 16.0, 14.0, 10.5 };
    return sky;
}

// Scene-linear light to a profile's code value for neutral values, as a
// table over log exposure (the profile's curve is monotonic).
struct NeutralEncoder
{
    static constexpr int kSamples = 2048;
    static constexpr double kLow = -6.0, kHigh = 3.0;
    std::vector<double> code;
    explicit NeutralEncoder(const CameraProfile& profile)
        : code(kSamples)
    {
        for (int i = 0; i < kSamples; ++i)
            code[i] = FilmModel::encodeNeutral(profile, FilmModel::kSceneMidGrey * std::pow(10.0, xAt(i)));
    }
    static double xAt(int i) { return kLow + (kHigh - kLow) * i / (kSamples - 1); }
    double operator()(double linear) const
    {
        const double x = std::log10(std::max(linear, 1e-7) / FilmModel::kSceneMidGrey);
        const double p = std::clamp((x - kLow) / (kHigh - kLow) * (kSamples - 1), 0.0, kSamples - 1.0);
        const int i = std::min(int(p), kSamples - 2);
        return code[i] + (code[i + 1] - code[i]) * (p - i);
    }
};

void drawFilmFrame(QPainter& p, const QRectF& r, const QColor& colour)
{
    p.setPen(QPen(colour, std::max(1.5, r.width() / 40.0)));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, r.width() / 16.0, r.width() / 16.0);
    const double hole = r.height() / 9.0;
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        const double x = r.left() + r.width() * (0.1 + 0.14 * i);
        p.drawRoundedRect(QRectF(x, r.top() + hole * 0.6, hole * 1.3, hole), hole / 4, hole / 4);
        p.drawRoundedRect(QRectF(x, r.bottom() - hole * 1.6, hole * 1.3, hole), hole / 4, hole / 4);
    }
    p.setPen(QPen(colour, std::max(1.0, r.width() / 60.0)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(r.left() + r.width() * 0.1, r.top() + hole * 2.2, r.width() * 0.8, r.height() - hole * 4.4));
}

// The dark backdrop of every placeholder: a vertical gradient and a soft
// vignette that draws the eye to the middle.
void paintBackdrop(QPainter& p, int width, int height, const QColor& top, const QColor& bottom, double vignetteRadius,
    int vignetteDarkness)
{
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    p.fillRect(0, 0, width, height, g);
    QRadialGradient vignette(QPointF(width / 2.0, height / 2.0), width * vignetteRadius);
    vignette.setColorAt(0.0, QColor(255, 255, 255, 10));
    vignette.setColorAt(1.0, QColor(0, 0, 0, vignetteDarkness));
    p.fillRect(0, 0, width, height, vignette);
}

QImage darkCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    paintBackdrop(p, width, height, QColor(0x24, 0x27, 0x2c), QColor(0x16, 0x18, 0x1b), 0.6, 60);
    return image;
}

// The media browser's thumbnails for clips without a picture of their own.
namespace browser {

constexpr int kWidth = 444;
constexpr int kHeight = 250;

const QColor kBackgroundTop(0x2b, 0x2d, 0x31);
const QColor kBackgroundBottom(0x1b, 0x1c, 0x1f);
const QColor kFrameLine(0x4a, 0x4e, 0x55);
const QColor kGlyphFill(0x33, 0x36, 0x3b);
const QColor kGlyphLine(0x6b, 0x71, 0x7a);
const QColor kAccent(0xd9, 0xa4, 0x4a); // warm amber, the grading accent
const QColor kAlert(0xd0, 0x5c, 0x4b);

QImage canvas()
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(kBackgroundBottom);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paintBackdrop(p, kWidth, kHeight, kBackgroundTop, kBackgroundBottom, 0.62, 70);
    p.setPen(QPen(kFrameLine, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));
    return image;
}

// A frame of film with a row of perforations above and below the picture;
// returns the picture's rectangle.
QRectF drawFilmStrip(QPainter& p, const QColor& line)
{
    const QRectF strip(kWidth / 2.0 - 70, kHeight / 2.0 - 62, 140, 100);
    p.setPen(QPen(line, 2));
    p.setBrush(kGlyphFill);
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

QImage loading()
{
    QImage image = canvas();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF picture = drawFilmStrip(p, kGlyphLine);

    // The sun, in the accent colour.
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(picture.right() - 22, picture.top() + 14), 6, 6);

    // Three dots, fading: the clip is on its way.
    const qreal y = kHeight / 2.0 + 72;
    for (int i = 0; i < 3; ++i) {
        QColor dot = kAccent;
        dot.setAlpha(255 - i * 70);
        p.setBrush(dot);
        p.drawEllipse(QPointF(kWidth / 2.0 - 18 + i * 18, y), 4.2, 4.2);
    }
    return image;
}

QImage unreadable()
{
    QImage image = canvas();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF picture = drawFilmStrip(p, kGlyphLine.darker(115));

    // A slash across the picture: nothing to show.
    p.setPen(QPen(QColor(0x7a, 0x80, 0x88), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(picture.bottomLeft() + QPointF(10, -8), picture.topRight() + QPointF(-10, 8));

    // Warning badge below the frame.
    const QPointF centre(kWidth / 2.0, kHeight / 2.0 + 74);
    QPainterPath triangle;
    triangle.moveTo(centre + QPointF(0, -13));
    triangle.lineTo(centre + QPointF(14, 11));
    triangle.lineTo(centre + QPointF(-14, 11));
    triangle.closeSubpath();
    p.setPen(QPen(kAlert, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(kAlert.red(), kAlert.green(), kAlert.blue(), 40));
    p.drawPath(triangle);
    p.setPen(QPen(kAlert, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(0, -5), centre + QPointF(0, 3));
    p.setPen(Qt::NoPen);
    p.setBrush(kAlert);
    p.drawEllipse(centre + QPointF(0, 7.5), 1.6, 1.6);
    return image;
}

} // namespace browser

} // namespace

std::vector<float> Artwork::sampleScene(int width, int height)
{
    std::vector<float> out(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Vec3 sum { 0.0, 0.0, 0.0 };
            for (int sy = 0; sy < 2; ++sy)
                for (int sx = 0; sx < 2; ++sx) {
                    const Vec3 s = sceneAt((x + 0.25 + 0.5 * sx) / width, (y + 0.25 + 0.5 * sy) / height);
                    sum = { sum[0] + s[0], sum[1] + s[1], sum[2] + s[2] };
                }
            float* o = &out[(std::size_t(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c)
                o[c] = float(sum[c] / 4.0);
        }
    return out;
}

QImage Artwork::samplePicture(int width, int height, const CameraProfile& profile)
{
    const std::vector<float> scene = sampleScene(width, height);
    const NeutralEncoder encode(profile);
    const Mat3 fromRec709 = CameraEncoding::inverse(CameraEncoding::toRec709(profile.gamut));
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const float* s = &scene[(std::size_t(y) * width + x) * 3];
            const Vec3 camera = CameraEncoding::multiply(fromRec709, Vec3 { s[0], s[1], s[2] });
            for (int c = 0; c < 3; ++c)
                line[x * 3 + c] = uchar(std::lround(std::clamp(encode(std::max(camera[c], 0.0)), 0.0, 1.0) * 255.0));
        }
    }
    return image;
}

QImage Artwork::placeholder(bool unreadable)
{
    const int w = 1280, h = 720;
    QImage image = darkCanvas(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QColor icon = unreadable ? QColor(0xd9, 0x9a, 0x2b) : QColor(0x5d, 0x64, 0x6e);
    drawFilmFrame(p, QRectF(w / 2.0 - 90, h / 2.0 - 150, 180, 120), icon);
    if (unreadable) {
        // A warning mark over the frame's corner.
        QPainterPath triangle;
        const QPointF c(w / 2.0 + 80, h / 2.0 - 40);
        triangle.moveTo(c + QPointF(0, -34));
        triangle.lineTo(c + QPointF(32, 24));
        triangle.lineTo(c + QPointF(-32, 24));
        triangle.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(icon);
        p.drawPath(triangle);
        p.setBrush(QColor(0x1d, 0x1f, 0x23));
        p.drawRoundedRect(QRectF(c.x() - 3.5, c.y() - 16, 7, 24), 3, 3);
        p.drawEllipse(QPointF(c.x(), c.y() + 15), 4, 4);
    }
    QFont title("DejaVu Sans");
    title.setPixelSize(34);
    title.setWeight(QFont::DemiBold);
    p.setFont(title);
    p.setPen(QColor(0xd4, 0xd8, 0xde));
    p.drawText(QRectF(0, h / 2.0 + 10, w, 50), Qt::AlignCenter, unreadable ? "Media Offline" : "No Clip");
    QFont body("DejaVu Sans");
    body.setPixelSize(18);
    p.setFont(body);
    p.setPen(QColor(0x8a, 0x91, 0x9b));
    p.drawText(QRectF(0, h / 2.0 + 62, w, 30), Qt::AlignCenter,
        unreadable ? "This clip cannot be read. Check that the file is present and in a supported format."
                   : "Add clips to the sequence or select one to start grading.");
    // A thin frame like a viewer's safe area.
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(w * 0.05, h * 0.05, w * 0.9, h * 0.9));
    return image;
}

bool Artwork::writePlaceholders(const QString& resourcesFolder)
{
    const QByteArray empty = tiffBytes(placeholder(false));
    const QByteArray unreadable = tiffBytes(placeholder(true));
    return !empty.isEmpty() && !unreadable.isEmpty()
        && DataWriter::writeFile(resourcesFolder + "placeholderEM.bin", empty)
        && DataWriter::writeFile(resourcesFolder + "placeholderIF.bin", unreadable);
}

QImage Artwork::placeholderThumbnail(int width, int height)
{
    QImage image = darkCanvas(width, height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double fw = width * 0.3;
    drawFilmFrame(p, QRectF((width - fw) / 2.0, height * 0.2, fw, fw * 2.0 / 3.0), QColor(0x5d, 0x64, 0x6e));
    QFont font("DejaVu Sans");
    font.setPixelSize(std::max(10, height / 9));
    p.setFont(font);
    p.setPen(QColor(0x9a, 0xa1, 0xab));
    p.drawText(QRectF(0, height * 0.68, width, height * 0.2), Qt::AlignCenter, "No Preview");
    return image;
}

QImage Artwork::contactSheet(const CameraProfile& profile, int cellWidth, int threads)
{
    const int cellHeight = cellWidth * 9 / 16, label = 30, columns = 5;
    const std::vector<FilmStock>& stocks = FilmStocks::all();
    const int cells = int(stocks.size()) + 1;
    const int rows = (cells + columns - 1) / columns;
    const QImage sample = samplePicture(cellWidth, cellHeight, profile);
    std::vector<QImage> graded(stocks.size());
    std::vector<std::function<bool()>> jobs;
    for (std::size_t i = 0; i < stocks.size(); ++i)
        jobs.push_back([&, i] {
            const FilmModel model(profile, stocks[i]);
            const std::vector<float> table = TableBuilder::profileTable(model);
            ClipSettings settings;
            settings.setStockName(stocks[i].code);
            GradeTables tables(nullptr);
            tables.applySettings(settings);
            ReferenceGradeInputs inputs = ReferenceGradeInputs::fromTables(tables, settings);
            inputs.stockTable = table.data();
            inputs.grainAmount = 0.0f;
            graded[i] = ReferenceGrade::gradeImage(sample, inputs);
            return !graded[i].isNull();
        });
    DataWriter::runJobs(jobs, threads);

    QImage sheet(columns * cellWidth, rows * (cellHeight + label), QImage::Format_RGB32);
    sheet.fill(QColor(0x1b, 0x1d, 0x20));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font("DejaVu Sans");
    font.setPixelSize(15);
    p.setFont(font);
    for (int i = 0; i < cells; ++i) {
        const int x = (i % columns) * cellWidth, y = (i / columns) * (cellHeight + label);
        const QImage& picture = i == 0 ? sample : graded[std::size_t(i - 1)];
        p.drawImage(QPoint(x, y), picture);
        p.setPen(QColor(0xd0, 0xd4, 0xda));
        const QString name = i == 0
            ? QStringLiteral("%1 (ungraded)").arg(profile.id)
            : QStringLiteral("%1  (%2)")
                  .arg(FilmStocks::displayName(stocks[std::size_t(i - 1)]), stocks[std::size_t(i - 1)].code);
        p.drawText(QRect(x + 8, y + cellHeight, cellWidth - 16, label), Qt::AlignVCenter | Qt::AlignLeft, name);
    }
    return sheet;
}

QImage Artwork::browserThumbnail(bool unreadable)
{
    return unreadable ? browser::unreadable() : browser::loading();
}

QByteArray Artwork::tiffBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buffer, "TIFF", 100))
        return QByteArray();
    return bytes;
}

} // namespace FilmData
} // namespace Emulsa
