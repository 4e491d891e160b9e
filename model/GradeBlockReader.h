#pragma once

#include "core/ClipSettings.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class QXmlStreamReader;

namespace Emulsa {

class CameraListHelper;
class FilmLibrary;

// The three wheels of a grade, in file order.
struct ColorWheelsInfo
{
    ColorWheelData low;
    ColorWheelData mid;
    ColorWheelData high;
};

// What the general block of a file says about its writer. Stored only.
struct GeneralInfo
{
    float fileVersion = -1.0f;
    QString standaloneVersion;
    QString hostOS;
};

// Reads the XML blocks that project and preset files share from a reader the
// caller owns: the general block and the grade block (ClipSettings with its
// wheels and levels). Children are read in a strict order; values are clamped
// to their ranges. A number that does not convert, or converts to infinity or
// "not a number", is a field error.
//
// Each parse method starts on the block's start element and leaves the reader
// on the block's end element, whether the block parsed or not, so that the
// caller can go on with the next sibling (unless the document itself is
// broken, which leaves the reader in error).
class GradeBlockReader
{
public:
    // The film library decides which stocks are known and the catalogue which
    // camera profiles exist (the process-wide ones when null).
    explicit GradeBlockReader(
        QXmlStreamReader* xml, const FilmLibrary* library = nullptr, CameraListHelper* catalogue = nullptr);

    // <General>: false with a log line when it is not the General element or
    // a child is missing or wrong.
    bool readGeneral(GeneralInfo* info);

    // <ClipSettings>: the grade, or none when an element is missing, out of
    // order or holds a number that does not convert. A stock the film library
    // lacks becomes "5207"; a camera profile the catalogue lacks keeps its id
    // and is reported once per reader with a critical message.
    std::unique_ptr<ClipSettings> parseClipSettings();
    // <ColorWheels>: wheels that cannot be read are zero; never fails.
    ColorWheelsInfo parseColorWheels();
    // One wheel: radius 0..1.05, theta -pi..pi; a value that cannot be read is 0.
    ColorWheelData parseSingleColorWheel();
    // <Histogram>: each level 0..1; a missing level keeps its default, a bad
    // number becomes 0.
    HistogramSliderData parseHistogram();

    // The first word of the log line for a wheel found where another belongs
    // ("Expecting" unless set).
    void setWheelMismatchWord(const QString& word) { m_wheelMismatchWord = word; }

    // The fields of the grade last parsed that could not be read, in file
    // order, by element ("Kelvin", "ColorWheels/Mid/Radius",
    // "Histogram/White"); empty when it was read whole. A field that fails
    // the grade is the last one named: nothing after it is read. Cleared by
    // parseClipSettings; the wheel and level parsers add to it.
    QStringList unreadFields() const { return m_unreadFields; }

    // On an UnreadGradeFields start element (the element a writer puts after
    // a grade block whose fields it had not read): the field names it holds,
    // separated by white space, up to its end element. Only names made of
    // letters and "/" are kept, at most maxStoredUnreadFields of them.
    QStringList readStoredUnreadFields();
    // The fields of the list, then those of `more` it lacks, in order.
    static QStringList mergeFields(QStringList fields, const QStringList& more);
    // Whether unread fields cost the whole grade: a top-level field that
    // could not be read ends the grade, which then takes default settings
    // throughout; only the parts of the wheels and levels ("ColorWheels/Low",
    // "Histogram/Mid") fall back alone.
    static bool wholeGradeLost(const QStringList& unreadFields);

    static const QString unreadFieldsElement; // "UnreadGradeFields"
    static constexpr int maxStoredUnreadFields = 32;

    // Grades whose stock was replaced by the default stock since construction.
    int replacedStocks() const { return m_replacedStocks; }

    // Text to a finite float / an int; false for anything else.
    static bool toFiniteFloat(const QString& text, float* value);
    static bool toInt(const QString& text, int* value);
    // Reads on until the reader stands on the end element named `name` (or the
    // document ends or is in error). Does nothing when it already does.
    static void skipToEndOf(QXmlStreamReader* xml, const QString& name);

    // The address the missing-profile message points to.
    static const QString profileDownloadPage;

private:
    // Moves to the next child start element; true when it is named `name`,
    // with its text in *text.
    bool readLeaf(const QString& name, QString* text);
    bool readClipSettingsFields(ClipSettings* settings);
    // The film effects after Original, when the file has them.
    void readFilmEffects(ClipSettings* settings);
    void reportMissingProfile(quint32 profile, const QString& cameraModel);

    QXmlStreamReader* m_xml;
    const FilmLibrary* m_library;
    CameraListHelper* m_catalogue;
    QString m_wheelMismatchWord = QStringLiteral("Expecting");
    QSet<quint32> m_reportedProfiles;
    int m_replacedStocks = 0;
    QStringList m_unreadFields;
};

} // namespace Emulsa
