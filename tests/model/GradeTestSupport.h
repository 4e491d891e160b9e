#pragma once

#include "core/ClipSettings.h"

#include <QByteArray>

namespace Emulsa::Test {

// A camera catalogue with two profiles: "OT01" (Other Generic, model id GEN0)
// and "SN01" (Sonar FS9, model id SNF9).
QByteArray twoProfileCatalogue();

// A grade that differs from the default grade in every field, on profile
// "SN01" and stock "FujiVelvia100".
ClipSettings sampleGrade();

// The grade block of sampleGrade() as the file format lays it out, four
// spaces a level; the lines after the first are indented by `indent` more.
QByteArray sampleGradeBlock(int indent = 0);
// A grade block as files of version 1.0 have it: without the film effects.
QByteArray withoutFilmEffects(QByteArray block);

// QCOMPARE of every field; floats and wheel values compare as floats.
void compareGrades(const ClipSettings& actual, const ClipSettings& expected);

} // namespace Emulsa::Test
