#include "media/encode/MovieJoin.h"

#include "media/encode/PartFile.h"
#include "media/frame/LibAVPointers.h"

#include <QFile>

#include <vector>

namespace Emulsa::MovieJoin {

namespace {

struct OutputContextDeleter
{
    void operator()(AVFormatContext* context) const
    {
        if (context && context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

AV::FormatContextPtr openPart(const QString& path, QString* error)
{
    AVFormatContext* context = nullptr;
    int result = avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr);
    if (result >= 0)
        result = avformat_find_stream_info(context, nullptr);
    if (result < 0) {
        avformat_close_input(&context);
        *error = QStringLiteral("Can't read %1: %2").arg(path, AV::errorText(result));
        return nullptr;
    }
    return AV::FormatContextPtr(context);
}

bool sameStreams(const AVFormatContext* first, const AVFormatContext* other)
{
    if (first->nb_streams != other->nb_streams)
        return false;
    for (unsigned i = 0; i < first->nb_streams; ++i) {
        const AVCodecParameters* a = first->streams[i]->codecpar;
        const AVCodecParameters* b = other->streams[i]->codecpar;
        if (a->codec_type != b->codec_type || a->codec_id != b->codec_id || a->width != b->width
            || a->height != b->height || a->sample_rate != b->sample_rate
            || a->ch_layout.nb_channels != b->ch_layout.nb_channels)
            return false;
    }
    return true;
}

// Copies the part's packets, each stream shifted to start at `starts`;
// on return `starts` holds where each stream ended.
bool copyPart(
    AVFormatContext* input, AVFormatContext* output, std::vector<int64_t>& starts, const QString& path, QString* error)
{
    const unsigned count = input->nb_streams;
    // The first time stamp of each stream of the part, in its own time base.
    std::vector<int64_t> firsts(count, AV_NOPTS_VALUE);
    std::vector<int64_t> ends = starts;
    AV::PacketPtr packet(av_packet_alloc());
    int result = 0;
    while ((result = av_read_frame(input, packet.get())) >= 0) {
        const unsigned index = unsigned(packet->stream_index);
        if (index >= count) {
            av_packet_unref(packet.get());
            continue;
        }
        const AVRational from = input->streams[index]->time_base;
        const AVRational to = output->streams[index]->time_base;
        const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (firsts[index] == AV_NOPTS_VALUE)
            firsts[index] = stamp;
        const int64_t shift = av_rescale_q(firsts[index], from, to);
        av_packet_rescale_ts(packet.get(), from, to);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts += starts[index] - shift;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += starts[index] - shift;
        const int64_t end = (packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts) + packet->duration;
        ends[index] = std::max(ends[index], end);
        packet->pos = -1;
        result = av_interleaved_write_frame(output, packet.get());
        if (result < 0) {
            *error = QStringLiteral("Can't write the packets of %1: %2").arg(path, AV::errorText(result));
            return false;
        }
    }
    if (result != AVERROR_EOF) {
        *error = QStringLiteral("Can't read %1 to its end: %2").arg(path, AV::errorText(result));
        return false;
    }
    starts = ends;
    return true;
}

} // namespace

bool join(const QStringList& parts, const QString& target, QString* error)
{
    QString problem;
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (parts.isEmpty())
        return fail(QStringLiteral("No movies to join into %1.").arg(target));
    AV::FormatContextPtr first = openPart(parts.first(), &problem);
    if (!first)
        return fail(problem);
    // What a stopped join left.
    PartFile::removeStale(target);
    const QString part = PartFile::create(target, &problem);
    if (part.isEmpty())
        return fail(QStringLiteral("Can't write %1: %2").arg(target, problem));

    AVFormatContext* made = nullptr;
    int result = avformat_alloc_output_context2(&made, nullptr, "mov", QFile::encodeName(part).constData());
    OutputContextPtr output(made);
    bool ok = result >= 0;
    for (unsigned i = 0; ok && i < first->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(output.get(), nullptr);
        ok = stream && avcodec_parameters_copy(stream->codecpar, first->streams[i]->codecpar) >= 0;
        if (ok) {
            stream->time_base = first->streams[i]->time_base;
            stream->avg_frame_rate = first->streams[i]->avg_frame_rate;
            stream->r_frame_rate = first->streams[i]->r_frame_rate;
            stream->sample_aspect_ratio = first->streams[i]->sample_aspect_ratio;
        }
    }
    if (ok)
        result = avio_open(&output->pb, QFile::encodeName(part).constData(), AVIO_FLAG_WRITE);
    if (ok && result >= 0)
        result = avformat_write_header(output.get(), nullptr);
    if (!ok || result < 0) {
        PartFile::discard(part);
        return fail(QStringLiteral("Can't start writing %1: %2")
                        .arg(target, result < 0 ? AV::errorText(result) : QStringLiteral("a stream can't be copied")));
    }
    std::vector<int64_t> starts(first->nb_streams, 0);
    ok = copyPart(first.get(), output.get(), starts, parts.first(), &problem);
    first.reset();
    for (int i = 1; ok && i < parts.size(); ++i) {
        AV::FormatContextPtr input = openPart(parts[i], &problem);
        if (!input) {
            ok = false;
        } else if (!sameStreams(output.get(), input.get())) {
            problem = QStringLiteral("%1 has other streams than %2.").arg(parts[i], parts.first());
            ok = false;
        } else {
            ok = copyPart(input.get(), output.get(), starts, parts[i], &problem);
        }
    }
    if (ok) {
        result = av_write_trailer(output.get());
        if (result < 0) {
            problem = QStringLiteral("Can't finish %1: %2").arg(target, AV::errorText(result));
            ok = false;
        }
    }
    avio_closep(&output->pb);
    output.reset();
    if (ok && !PartFile::commit(part, target, &problem))
        problem = QStringLiteral("Can't put %1 in place: %2").arg(target, problem);
    else if (ok)
        return true;
    PartFile::discard(part);
    return fail(problem);
}

} // namespace Emulsa::MovieJoin
