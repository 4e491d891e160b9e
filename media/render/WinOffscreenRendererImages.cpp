// The image-sequence side of the off-screen renderer: every picture of the
// clip written as a still, into a working folder that takes its name when the
// sequence is complete, or in place beside those of the other parts.

#include "media/render/WinOffscreenRenderer.h"

#include "core/ShaderProcessor.h"
#include "media/clip/AssetMetadata.h"
#include "media/clip/SequenceItem.h"
#include "media/encode/ImageWriter.h"
#include "media/frame/Frame.h"
#include "media/render/OutputPaths.h"
#include "media/source/WinSourceReader.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace Emulsa {

namespace {

ImageWriter::Kind imageKind(int format)
{
    return format == Dpx10Sequence  ? ImageWriter::Dpx10
        : format == ExrHalfSequence ? ImageWriter::ExrHalf
                                    : ImageWriter::Tiff;
}

TiffOptions tiffOptions(const t_OutputSettings& settings)
{
    return TiffOptions::fromMenus(settings.tiffOption1, settings.tiffOption2, settings.tiffOption3);
}

} // namespace

bool WinOffscreenRenderer::runImageMode()
{
    if (!m_item || !m_reader)
        return fail(QStringLiteral("The renderer is not initialised."));
    if (m_imagesInPlace)
        return runImagesInPlace();
    QString error;
    // The images go into a hidden working folder that takes the image
    // folder's name only once the sequence is complete.
    const QString working = prepareImageFolder(&error);
    if (working.isEmpty()) {
        m_lastError = error;
        qCritical().noquote() << "Can't create the folder chosen. <br /> Canceling rendering now";
        qCritical().noquote() << error;
        reportProgress(-1);
        return false;
    }
    const QString base = OutputPaths::baseName(m_item->asset->name);
    const QString pattern = OutputPaths::imageFilePatternIn(working, m_settings, m_item->asset);
    if (!m_reader->seekToFrame(m_item->startFrame, true)) {
        fail(QStringLiteral("Can't set current frame position on renderer. <br /> Canceling rendering now"));
        OutputPaths::removeImageFolder(working, base);
        reportProgress(-1);
        return false;
    }
    m_framesWritten = 0;
    reportProgress(0);
    ImageWriter writer(m_outputWidth, m_outputHeight, imageKind(m_settings->format), tiffOptions(*m_settings));
    if (!writer.isReady()) {
        fail(writer.lastError());
        OutputPaths::removeImageFolder(working, base);
        reportProgress(-1);
        return false;
    }
    // 8 or 16 bits or a float a sample, as the writer takes them.
    const int sampleBytes = writer.input() == ImageWriter::RgbaFloat ? 4
        : writer.input() == ImageWriter::Rgba16                      ? 2
                                                                     : 1;
    std::vector<float> image((size_t(m_outputWidth) * m_outputHeight * 4 * sampleBytes + 3) / 4);
    qDebug().noquote() << "New file to render:    " << m_item->asset->name
                       << "   with starting point:" << m_item->startFrame
                       << "   and ending point: " << m_item->endFrame;
    qDebug() << "Settings:" << m_grade;

    const qint64 length = std::max<qint64>(0, m_item->lengthInFrames());
    bool ok = true;
    while (ok && keepRunning() && m_framesWritten < length) {
        m_currentFrame = m_reader->getNextFrame(false);
        if (!m_currentFrame)
            break;
        // Named by the frame's place on the clip's time line: unique and in
        // order, whatever the source's own timing.
        ok = writeImage(writer, image, OutputPaths::imageFileName(pattern, m_currentFrame->index));
        if (ok)
            reportProgress(++m_framesWritten);
        delete m_currentFrame;
        m_currentFrame = nullptr;
    }
    delete m_currentFrame;
    m_currentFrame = nullptr;
    const bool cancelled = ok && !keepRunning();
    if (cancelled) {
        m_lastError = QStringLiteral("Rendering was cancelled.");
        ok = false;
    } else if (ok && m_framesWritten < length) {
        ok = fail(shortRenderMessage(length));
    }
    // A cancelled sequence keeps the images written so far under the image
    // folder's name: the user stopped it and knows it is short.
    if (cancelled && m_framesWritten > 0) {
        if (!OutputPaths::finishImageFolder(m_settings, m_item->asset, working, &error))
            qWarning().noquote() << "Can't keep the images of the cancelled sequence:" << error;
        reportProgress(-1);
        return false;
    }
    // Otherwise an unfinished sequence never takes the image folder's name:
    // the images written so far stay in the working folder, which the next
    // render of the clip removes, and an earlier image folder stays as it
    // was.
    if (!ok) {
        if (m_framesWritten > 0)
            qWarning().noquote() << "The" << m_framesWritten << "images written are left unfinished in"
                                 << QDir::toNativeSeparators(working);
        else
            OutputPaths::removeImageFolder(working, base);
        reportProgress(-1);
        return false;
    }
    if (!OutputPaths::finishImageFolder(m_settings, m_item->asset, working, &error)) {
        fail(error);
        reportProgress(-1);
        return false;
    }
    countUpToLength();
    reportProgress(-42);
    return true;
}

bool WinOffscreenRenderer::writeImage(ImageWriter& writer, std::vector<float>& image, const QString& path)
{
    if (!makeCurrent()) {
        qWarning().noquote() << "can't make context current...";
        return fail(QStringLiteral("Can't make the OpenGL context current."));
    }
    uploadFrame(m_currentFrame);
    gradeFrame();
    if (writer.input() == ImageWriter::RgbaFloat)
        readBackGraded(image.data());
    else if (writer.input() == ImageWriter::Rgba16)
        readBackGraded(reinterpret_cast<ushort*>(image.data()));
    else
        readBackGraded(reinterpret_cast<uchar*>(image.data()));
    swapAndRelease();
    if (!writer.write(path, image.data())) {
        qWarning().noquote() << writer.lastError();
        return fail(QStringLiteral("Can't write the image %1.").arg(path));
    }
    return true;
}

bool WinOffscreenRenderer::runImagesInPlace()
{
    const auto failed = [this](const QString& message) {
        fail(message);
        reportProgress(-1);
        return false;
    };
    const QString folder = OutputPaths::imageFolderPath(m_settings, m_item->asset);
    const QFileInfo info(folder);
    if ((info.exists() || info.isSymLink()) && !info.isDir())
        return failed(QStringLiteral("%1 exists and is not a folder.").arg(QDir::toNativeSeparators(folder)));
    if (!QDir().mkpath(folder))
        return failed(QStringLiteral("Can't create the folder %1.").arg(QDir::toNativeSeparators(folder)));
    const qint64 first = m_item->startFrame;
    const qint64 end = std::max<qint64>(first, m_item->endFrame);
    OutputPaths::removeLeftoverImageParts(folder, OutputPaths::baseName(m_item->asset->name), first, end);

    // The frames whose images are still to be made.
    const QString pattern = OutputPaths::imageFilePattern(m_settings, m_item->asset);
    std::vector<bool> wanted(size_t(end - first), true);
    qint64 firstWanted = end;
    m_framesWritten = 0;
    m_imagesKept = 0;
    for (qint64 index = first; index < end; ++index) {
        if (m_settings->keepExisting && QFileInfo(OutputPaths::imageFileName(pattern, index)).isFile()) {
            wanted[size_t(index - first)] = false;
            ++m_imagesKept;
        } else {
            firstWanted = std::min(firstWanted, index);
        }
    }
    reportProgress(0);
    if (firstWanted == end) {
        reportProgress(m_imagesKept);
        reportProgress(-42);
        return true;
    }
    if (!m_reader->seekToFrame(quint32(firstWanted), true))
        return failed(QStringLiteral("Can't set current frame position on renderer."));
    ImageWriter writer(m_outputWidth, m_outputHeight, imageKind(m_settings->format), tiffOptions(*m_settings));
    if (!writer.isReady())
        return failed(writer.lastError());
    const int sampleBytes = writer.input() == ImageWriter::RgbaFloat ? 4
        : writer.input() == ImageWriter::Rgba16                      ? 2
                                                                     : 1;
    std::vector<float> image((size_t(m_outputWidth) * m_outputHeight * 4 * sampleBytes + 3) / 4);

    // Every frame from the first wanted one is decoded, in order; those
    // whose images exist are passed over.
    const qint64 toDecode = end - firstWanted;
    qint64 decoded = 0;
    bool ok = true;
    while (ok && keepRunning() && decoded < toDecode) {
        m_currentFrame = m_reader->getNextFrame(false);
        if (!m_currentFrame)
            break;
        ++decoded;
        const qint64 index = m_currentFrame->index;
        if (index >= first && index < end && wanted[size_t(index - first)]) {
            ok = writeImage(writer, image, OutputPaths::imageFileName(pattern, index));
            if (ok) {
                wanted[size_t(index - first)] = false;
                ++m_framesWritten;
            }
        }
        if (ok)
            reportProgress(m_framesWritten + m_imagesKept);
        delete m_currentFrame;
        m_currentFrame = nullptr;
    }
    delete m_currentFrame;
    m_currentFrame = nullptr;
    if (ok && !keepRunning()) {
        m_lastError = QStringLiteral("Rendering was cancelled.");
        reportProgress(-1);
        return false;
    }
    const auto missing = std::count(wanted.begin(), wanted.end(), true);
    if (ok && missing > 0)
        ok = fail(QStringLiteral("The clip ended early or a picture could not be decoded: %1 of the %2 images of "
                                 "frames %3 to %4 are missing.")
                      .arg(missing)
                      .arg(end - first)
                      .arg(first)
                      .arg(end - 1));
    if (!ok) {
        reportProgress(-1);
        return false;
    }
    reportProgress(-42);
    return true;
}

} // namespace Emulsa
