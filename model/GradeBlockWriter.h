#pragma once

#include <QString>
#include <QStringList>

class QXmlStreamWriter;

namespace Emulsa {

class CameraListHelper;
class ClipSettings;
struct ColorWheelData;
struct HistogramSliderData;

// Writes the XML blocks that project and preset files share onto a writer the
// caller owns and has already started: the general block (who wrote the file)
// and the grade block (ClipSettings with its wheels and levels).
//
// Floats are written with six decimals. A value that is not a finite number
// is written as the field's default, so that every written file reads back.
// A camera profile the catalogue does not know is written with empty
// CameraModel and CameraID; its ProfileID is kept.
//
// Every method returns false when the writer is in error afterwards.
class GradeBlockWriter
{
public:
    // The catalogue answers CameraModel and CameraID (the process-wide one
    // when null); it is loaded on first use.
    explicit GradeBlockWriter(QXmlStreamWriter* xml, CameraListHelper* catalogue = nullptr);

    // <General>: FileVersion "1.1", StandaloneVersion (the application's
    // version) and HostOS.
    bool writeGeneral();
    // <ClipSettings>: StockName .. Original, in the file order, then the film
    // effects (files of version 1.0 end at Original).
    bool writeClipSettings(const ClipSettings& settings);
    // <ColorWheels> with Low, Mid and High.
    bool writeColorWheels(const ClipSettings& settings);
    // One wheel element (Low, Mid or High) with Radius and Theta.
    bool writeSingleColorWheel(const QString& name, const ColorWheelData& wheel);
    // <UnreadGradeFields>: the fields of the grade just written that hold
    // defaults because they could not be read, separated by spaces. Nothing
    // for an empty list. Readers that do not know the element skip it.
    bool writeUnreadFields(const QStringList& fields);
    // <Histogram> with Black, Mid and White.
    bool writeHistogram(const HistogramSliderData& levels);

    // The text of a number in these files: fixed point, six decimals.
    static QString sixDecimals(double value);

    // "1.1": version 1.0 without the film effects.
    static const QString fileVersion;

private:
    bool writeNumber(const QString& name, double value, double fallback);

    QXmlStreamWriter* m_xml;
    CameraListHelper* m_catalogue;
};

} // namespace Emulsa
