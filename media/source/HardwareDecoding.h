#pragma once

#include "media/frame/LibAVPointers.h"

extern "C" {
#include <libavutil/hwcontext.h>
}

#include <QSet>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

namespace Emulsa {

// How pictures are decoded: in software only, with the first device that
// works, or with one named kind of device (VA-API, CUDA, VDPAU).
enum class HardwareDecodingMode
{
    Off,
    Auto,
    Vaapi,
    Cuda,
    Vdpau,
};

// Decoding with the graphics hardware through FFmpeg's device API, for the
// whole process. The mode comes from EMULSA_HW_DECODE until the application
// (its setting) or the render tool (--hw-decode) sets it. The device is found
// once, on first use: each candidate kind is opened in turn and must decode a
// small clip made here, so that a driver that opens but cannot decode is
// never chosen.
//
// Pictures decoded on the device are copied down to system memory (NV12, P010
// ...) and converted like software pictures. Handing them to OpenGL without
// the copy would take, for VA-API, exporting each surface as DRM PRIME
// (vaExportSurfaceHandle) and importing its planes as EGLImages
// (EGL_EXT_image_dma_buf_import, one R8 and one RG8 texture for NV12), which
// needs an EGL context rather than GLX; for CUDA, registering the preview's
// textures with cuGraphicsGLRegisterImage and copying the planes with
// cuMemcpy2D on the device. Either way the YUV-to-RGB step would move into a
// shader that reads two planes.
class HardwareDecoding
{
public:
    // "off", "auto", "vaapi", "cuda", "vdpau".
    static QString modeName(HardwareDecodingMode mode);
    // The mode of a name (case and surrounding spaces ignored); none for any
    // other text.
    static std::optional<HardwareDecodingMode> parseMode(const QString& text);
    // All names, for messages and help texts: "off|auto|vaapi|cuda|vdpau".
    static QString modeNames();
    // The mode EMULSA_HW_DECODE asks for; none when it is unset or empty, or
    // names no mode (refused with a warning that lists the names).
    static std::optional<HardwareDecodingMode> environmentMode();
    // That mode, auto without one.
    static HardwareDecodingMode modeFromEnvironment();

    // The process-wide mode: modeFromEnvironment() until set.
    static HardwareDecodingMode mode();
    // Sets the mode; the device is looked for again on next use.
    static void setMode(HardwareDecodingMode mode);
    // Whether the mode names one kind of device: a clip that cannot use it
    // then says so (in auto, software decoding is simply the other way).
    static bool forced();

    // Whether the warning that a clip cannot use the named device is still
    // to be given: true the first time for each file, until the mode changes
    // (a clip is opened by several readers).
    static bool claimWarning(const QString& path);

    // The device kinds tried for a mode, in order.
    static QVector<AVHWDeviceType> candidateTypes(HardwareDecodingMode mode);

    // An opened device that decoded the probe clip.
    struct Device
    {
        AVHWDeviceType type = AV_HWDEVICE_TYPE_NONE;
        // Owned reference to the device context; null for the simulated one.
        AVBufferRef* context = nullptr;
        QString name;
        // A software decoder acting as the device (see setSimulation()).
        bool simulated = false;

        Device() = default;
        Device(const Device&) = delete;
        Device& operator=(const Device&) = delete;
        ~Device();
    };
    // The device of the current mode, found on first use (thread-safe); null
    // when the mode is off or no candidate works.
    static std::shared_ptr<const Device> device();
    // Opens a device of the kind and decodes the probe clip with it; null
    // when either fails.
    static std::shared_ptr<const Device> probe(AVHWDeviceType type);

    // The device's pixel format for the decoder, AV_PIX_FMT_NONE when the
    // decoder has no way to use that kind of device.
    static AVPixelFormat devicePixelFormat(const AVCodec* codec, AVHWDeviceType type);

    // Test hook. While active, device() is a simulated device: decoders
    // decode in software but take the hardware path (one warning, fallback),
    // and the first picture at or after failAtSeconds (stream time from the
    // stream's start; negative: never, read at each picture) fails as a
    // device error would, once per clip.
    static void setSimulation(bool active);
    static void setSimulatedFailure(double failAtSeconds);
    static double simulatedFailure();
};

} // namespace Emulsa
