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

// QCOMPARE of every field; floats and wheel values compare as floats.
void compareGrades(const ClipSettings& actual, const ClipSettings& expected);

} // namespace Emulsa::Test
