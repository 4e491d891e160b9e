#pragma once

#include <QString>
#include <QStringList>

namespace Emulsa::RenderTool::Intermediates {

// A movie rendered by many tasks: each renders its frame range of the clip
// as an intra-frame movie (ProRes 422 HQ with PCM sound) into
// <output>/<base>.intermediate/, named <base>.<first>-<last>.mov (six-digit
// frame numbers, both included), beside <base>.frames, which holds the
// clip's whole range ("FIRST END", END not included). Then one task joins
// them, in order, into <output>/<base>.mov.

QString folder(const QString& output, const QString& base);
// The name the part movie is written under.
QString partName(const QString& base, qint64 first, qint64 end);
// Writes <base>.frames (complete or not at all). False with *error set.
bool recordRange(const QString& folder, const QString& base, qint64 first, qint64 end, QString* error);

struct Part
{
    QString path;
    qint64 first = 0;
    qint64 end = 0;
};
// The parts found in an intermediate folder, in frame order, and the range
// they must cover; false with *error set when the range is not recorded or
// the parts do not cover it once (a part missing or rendered twice).
bool findParts(const QString& folder, const QString& base, QList<Part>* parts, QString* error);

struct Result
{
    // What was done, one line each.
    QStringList joined;
    QStringList skipped;
    QStringList failed;
};
// Joins the parts of every intermediate folder in `output` into the clips'
// movies. A movie that exists is skipped unless `overwrite`.
Result assemble(const QString& output, bool overwrite);

} // namespace Emulsa::RenderTool::Intermediates
