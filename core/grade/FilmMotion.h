#pragma once

#include <QtGlobal>

#include <array>

namespace Emulsa::FilmMotion {

// The unsteadiness of film through a camera gate and a projector: the picture
// weaves slowly from side to side and jumps faster up and down by a fraction
// of a pixel, and each colour layer's exposure flickers a little from frame to
// frame. Every value is a smooth function of the frame number (a sum of a few
// sinusoids whose frequencies and phases come from the clip's seed), so that
// any frame is computed alone and grades the same in any order.

// Largest displacement at a full weave amount: horizontally a fraction of the
// picture width, vertically of its height (3.8 and 1.6 pixels at 1920x1080;
// the same part of the picture at any output size).
constexpr float kWeaveWidth = 0.002f;
constexpr float kJumpHeight = 0.0015f;
// Largest exposure change of a layer at a full flicker amount (a gain of
// 1 +- kFlickerGain on the picture entering the grade).
constexpr float kFlickerGain = 0.04f;

struct Frame
{
    // Where the picture is read, moved by this much in texture coordinates
    // (x in picture widths, y in picture heights).
    std::array<float, 2> offset { { 0.f, 0.f } };
    // Gain of the red, green and blue layers.
    std::array<float, 3> gain { { 1.f, 1.f, 1.f } };
};

// The motion of a frame of a clip for weave and flicker amounts 0..1 (0
// leaves the offset at 0 or the gains at 1 exactly).
Frame at(quint32 clipSeed, qint64 frame, float weave, float flicker);

// A smooth seeded wave in [-1, 1] of the frame number: the weighted sum of
// three sinusoids with frequencies (cycles per frame) drawn between
// lowest and highest from the stream's seed.
float wave(quint32 clipSeed, qint64 frame, quint32 stream, double lowest, double highest);

// The picture read at an offset as the grading pass reads it: each pixel
// (x, y) of dst is src sampled at texture coordinate ((x + 0.5) / width +
// offset[0], (y + 0.5) / height + offset[1]), bilinear with clamping to the
// edge. RGBA floats, rows in texture order; src and dst must differ.
void shiftPicture(const float* src, float* dst, int width, int height, const std::array<float, 2>& offset);

} // namespace Emulsa::FilmMotion
