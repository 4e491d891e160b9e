#include "media/source/HardwareDecoding.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <QDebug>
#include <QDir>

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace Emulsa {

namespace {

struct NamedMode
{
    HardwareDecodingMode mode;
    const char* name;
};

constexpr NamedMode namedModes[] = {
    { HardwareDecodingMode::Off, "off" },
    { HardwareDecodingMode::Auto, "auto" },
    { HardwareDecodingMode::Vaapi, "vaapi" },
    { HardwareDecodingMode::Cuda, "cuda" },
    { HardwareDecodingMode::Vdpau, "vdpau" },
};

struct State
{
    std::mutex mutex;
    std::optional<HardwareDecodingMode> mode;
    bool probed = false;
    std::shared_ptr<const HardwareDecoding::Device> device;
    bool simulated = false;
    QSet<QString> warnedClips;
};

State& state()
{
    static State instance;
    return instance;
}

std::atomic<double> simulatedFailureSeconds { -1.0 };

// The probe clip's coded pictures and the decoder they need.
struct ProbeClip
{
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    std::vector<AV::PacketPtr> packets;
};

// Two small pictures in H.264 (MPEG-2 where this FFmpeg has no H.264
// encoder), every one a key frame, coded in memory.
ProbeClip makeProbeClip()
{
    ProbeClip clip;
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (!encoder)
        encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!encoder)
        return clip;
    AV::CodecContextPtr context(avcodec_alloc_context3(encoder));
    AV::FramePtr picture(av_frame_alloc());
    AV::PacketPtr packet(av_packet_alloc());
    if (!context || !picture || !packet)
        return clip;
    context->width = 128;
    context->height = 96;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational { 1, 25 };
    context->framerate = AVRational { 25, 1 };
    context->gop_size = 1;
    context->max_b_frames = 0;
    context->thread_count = 1;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    if (avcodec_open2(context.get(), encoder, nullptr) < 0)
        return clip;
    picture->width = context->width;
    picture->height = context->height;
    picture->format = context->pix_fmt;
    if (av_frame_get_buffer(picture.get(), 0) < 0)
        return clip;
    std::vector<AV::PacketPtr> packets;
    for (int n = 0; n <= 2; ++n) {
        // Two pictures, then the flush.
        if (n < 2) {
            if (av_frame_make_writable(picture.get()) < 0)
                return clip;
            for (int plane = 0; plane < 3; ++plane) {
                const int rows = plane == 0 ? picture->height : picture->height / 2;
                const int columns = plane == 0 ? picture->width : picture->width / 2;
                for (int y = 0; y < rows; ++y) {
                    uint8_t* row = picture->data[plane] + size_t(y) * picture->linesize[plane];
                    for (int x = 0; x < columns; ++x)
                        row[x] = uint8_t(plane == 0 ? 16 + ((x + y + 40 * n) % 200) : 128);
                }
            }
            picture->pts = n;
        }
        if (avcodec_send_frame(context.get(), n < 2 ? picture.get() : nullptr) < 0)
            return clip;
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            packets.emplace_back(av_packet_alloc());
            if (!packets.back())
                return clip;
            av_packet_move_ref(packets.back().get(), packet.get());
        }
    }
    if (packets.empty())
        return clip;
    clip.codec = encoder->id;
    clip.width = context->width;
    clip.height = context->height;
    clip.packets = std::move(packets);
    return clip;
}

AVPixelFormat probeFormat(AVCodecContext* context, const AVPixelFormat* formats)
{
    const auto wanted = *static_cast<const AVPixelFormat*>(context->opaque);
    for (const AVPixelFormat* format = formats; *format != AV_PIX_FMT_NONE; ++format) {
        if (*format == wanted)
            return wanted;
    }
    return AV_PIX_FMT_NONE;
}

// Whether the device decodes the clip: a picture in the device's format that
// copies down to system memory.
bool decodesProbeClip(AVBufferRef* device, AVHWDeviceType type)
{
    const ProbeClip clip = makeProbeClip();
    if (clip.packets.empty()) {
        qDebug() << Q_FUNC_INFO << "No probe clip could be made.";
        return false;
    }
    const AVCodec* decoder = avcodec_find_decoder(clip.codec);
    AVPixelFormat deviceFormat = HardwareDecoding::devicePixelFormat(decoder, type);
    if (deviceFormat == AV_PIX_FMT_NONE)
        return false;
    AV::CodecContextPtr context(avcodec_alloc_context3(decoder));
    AV::FramePtr picture(av_frame_alloc());
    AV::FramePtr copy(av_frame_alloc());
    if (!context || !picture || !copy)
        return false;
    context->width = clip.width;
    context->height = clip.height;
    context->thread_count = 1;
    context->opaque = &deviceFormat;
    context->get_format = probeFormat;
    context->hw_device_ctx = av_buffer_ref(device);
    if (!context->hw_device_ctx || avcodec_open2(context.get(), decoder, nullptr) < 0)
        return false;
    for (size_t i = 0; i <= clip.packets.size(); ++i) {
        if (avcodec_send_packet(context.get(), i < clip.packets.size() ? clip.packets[i].get() : nullptr) < 0)
            return false;
        const int result = avcodec_receive_frame(context.get(), picture.get());
        if (result == AVERROR(EAGAIN))
            continue;
        if (result < 0 || picture->format != deviceFormat)
            return false;
        return av_hwframe_transfer_data(copy.get(), picture.get(), 0) >= 0 && copy->width == clip.width;
    }
    return false;
}

// Whether the kind's driver can be there at all: a DRM node for VA-API,
// the driver library for CUDA, a display and the library for VDPAU. Without
// them FFmpeg's attempt only fills the log with the reasons.
bool mayHaveDevice(AVHWDeviceType type)
{
    const auto loads = [](const char* library) {
        void* handle = dlopen(library, RTLD_LAZY | RTLD_LOCAL);
        if (handle)
            dlclose(handle);
        return handle != nullptr;
    };
    switch (type) {
    case AV_HWDEVICE_TYPE_VAAPI:
        return !QDir(QStringLiteral("/dev/dri"))
                    .entryList({ QStringLiteral("renderD*"), QStringLiteral("card*") }, QDir::System)
                    .isEmpty();
    case AV_HWDEVICE_TYPE_CUDA:
        return loads("libcuda.so.1");
    case AV_HWDEVICE_TYPE_VDPAU:
        return !qEnvironmentVariableIsEmpty("DISPLAY") && loads("libvdpau.so.1");
    default:
        return true;
    }
}

} // namespace

HardwareDecoding::Device::~Device()
{
    av_buffer_unref(&context);
}

QString HardwareDecoding::modeName(HardwareDecodingMode mode)
{
    for (const NamedMode& named : namedModes) {
        if (named.mode == mode)
            return QString::fromLatin1(named.name);
    }
    return QString();
}

std::optional<HardwareDecodingMode> HardwareDecoding::parseMode(const QString& text)
{
    const QString name = text.trimmed().toLower();
    for (const NamedMode& named : namedModes) {
        if (name == QLatin1String(named.name))
            return named.mode;
    }
    return std::nullopt;
}

QString HardwareDecoding::modeNames()
{
    QStringList names;
    for (const NamedMode& named : namedModes)
        names << QString::fromLatin1(named.name);
    return names.join(QLatin1Char('|'));
}

std::optional<HardwareDecodingMode> HardwareDecoding::environmentMode()
{
    const QString value = qEnvironmentVariable("EMULSA_HW_DECODE");
    if (value.trimmed().isEmpty())
        return std::nullopt;
    const std::optional<HardwareDecodingMode> mode = parseMode(value);
    if (!mode)
        qWarning().noquote()
            << QStringLiteral("EMULSA_HW_DECODE=\"%1\" is not one of %2; ignored.").arg(value, modeNames());
    return mode;
}

HardwareDecodingMode HardwareDecoding::modeFromEnvironment()
{
    return environmentMode().value_or(HardwareDecodingMode::Auto);
}

HardwareDecodingMode HardwareDecoding::mode()
{
    State& shared = state();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (!shared.mode)
        shared.mode = modeFromEnvironment();
    return *shared.mode;
}

void HardwareDecoding::setMode(HardwareDecodingMode mode)
{
    State& shared = state();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.mode == mode)
        return;
    shared.mode = mode;
    shared.probed = false;
    shared.device.reset();
    shared.warnedClips.clear();
}

bool HardwareDecoding::forced()
{
    const HardwareDecodingMode current = mode();
    return current != HardwareDecodingMode::Off && current != HardwareDecodingMode::Auto;
}

bool HardwareDecoding::claimWarning(const QString& path)
{
    State& shared = state();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.warnedClips.contains(path))
        return false;
    shared.warnedClips.insert(path);
    return true;
}

QVector<AVHWDeviceType> HardwareDecoding::candidateTypes(HardwareDecodingMode mode)
{
    switch (mode) {
    case HardwareDecodingMode::Off:
        return {};
    case HardwareDecodingMode::Vaapi:
        return { AV_HWDEVICE_TYPE_VAAPI };
    case HardwareDecodingMode::Cuda:
        return { AV_HWDEVICE_TYPE_CUDA };
    case HardwareDecodingMode::Vdpau:
        return { AV_HWDEVICE_TYPE_VDPAU };
    case HardwareDecodingMode::Auto:
        break;
    }
    // The kinds this FFmpeg was built with, in the order of preference.
    QVector<AVHWDeviceType> built;
    for (AVHWDeviceType type = av_hwdevice_iterate_types(AV_HWDEVICE_TYPE_NONE); type != AV_HWDEVICE_TYPE_NONE;
         type = av_hwdevice_iterate_types(type))
        built << type;
    QVector<AVHWDeviceType> types;
    for (AVHWDeviceType type : { AV_HWDEVICE_TYPE_VAAPI, AV_HWDEVICE_TYPE_CUDA, AV_HWDEVICE_TYPE_VDPAU }) {
        if (built.contains(type))
            types << type;
    }
    return types;
}

std::shared_ptr<const HardwareDecoding::Device> HardwareDecoding::probe(AVHWDeviceType type)
{
    auto device = std::make_shared<Device>();
    device->type = type;
    const char* name = av_hwdevice_get_type_name(type);
    device->name = name ? QString::fromLatin1(name) : QStringLiteral("unknown");
    if (!mayHaveDevice(type)) {
        qDebug() << Q_FUNC_INFO << "No" << device->name << "driver or device node on this machine.";
        return nullptr;
    }
    const int result = av_hwdevice_ctx_create(&device->context, type, nullptr, nullptr, 0);
    if (result < 0) {
        qDebug() << Q_FUNC_INFO << "No" << device->name << "device:" << AV::errorText(result);
        return nullptr;
    }
    if (!decodesProbeClip(device->context, type)) {
        qDebug() << Q_FUNC_INFO << "The" << device->name << "device opened but did not decode the probe clip.";
        return nullptr;
    }
    return device;
}

std::shared_ptr<const HardwareDecoding::Device> HardwareDecoding::device()
{
    const HardwareDecodingMode current = mode();
    State& shared = state();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.simulated) {
        static const std::shared_ptr<const Device> simulated = [] {
            auto device = std::make_shared<Device>();
            device->name = QStringLiteral("simulated");
            device->simulated = true;
            return device;
        }();
        return current == HardwareDecodingMode::Off ? nullptr : simulated;
    }
    if (shared.probed)
        return shared.device;
    shared.probed = true;
    for (AVHWDeviceType type : candidateTypes(current)) {
        shared.device = probe(type);
        if (shared.device)
            break;
    }
    if (shared.device)
        qInfo().noquote() << QStringLiteral("Hardware decoding with the %1 device.").arg(shared.device->name);
    else if (current != HardwareDecodingMode::Off)
        qInfo().noquote()
            << QStringLiteral("Hardware decoding (%1): no device found; decoding in software.").arg(modeName(current));
    return shared.device;
}

AVPixelFormat HardwareDecoding::devicePixelFormat(const AVCodec* codec, AVHWDeviceType type)
{
    if (!codec || type == AV_HWDEVICE_TYPE_NONE)
        return AV_PIX_FMT_NONE;
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(codec, i);
        if (!config)
            return AV_PIX_FMT_NONE;
        if ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) && config->device_type == type)
            return config->pix_fmt;
    }
}

void HardwareDecoding::setSimulation(bool active)
{
    State& shared = state();
    std::lock_guard<std::mutex> lock(shared.mutex);
    shared.simulated = active;
    if (!active)
        simulatedFailureSeconds = -1.0;
}

void HardwareDecoding::setSimulatedFailure(double failAtSeconds)
{
    simulatedFailureSeconds = failAtSeconds;
}

double HardwareDecoding::simulatedFailure()
{
    return simulatedFailureSeconds;
}

} // namespace Emulsa
