#include "media/render/ChunkPlan.h"

#include <QRegularExpression>

namespace Emulsa::ChunkPlan {

namespace {

// A whole number of up to nine digits, with an optional minus sign.
bool parseInteger(const QString& text, int* value)
{
    static const QRegularExpression integer(QStringLiteral("^-?[0-9]{1,9}$"));
    if (!integer.match(text.trimmed()).hasMatch())
        return false;
    *value = text.trimmed().toInt();
    return true;
}

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

bool checkPart(int index, int count, const QString& what, Chunk* chunk, QString* error)
{
    if (count < 1)
        return fail(error, QStringLiteral("%1: the number of parts must be at least 1, not %2.").arg(what).arg(count));
    if (index < 0 || index >= count)
        return fail(error,
            QStringLiteral("%1: part %2 does not exist; the %3 parts are numbered 0 to %4.")
                .arg(what)
                .arg(index)
                .arg(count)
                .arg(count - 1));
    chunk->index = index;
    chunk->count = count;
    return true;
}

// The start of run `index` of `count` over `total` frames.
qint64 runStart(qint64 total, int index, int count)
{
    return total * index / count;
}

} // namespace

bool parse(const QString& text, Chunk* chunk, QString* error)
{
    const QString what = QStringLiteral("--chunk %1").arg(text);
    const QStringList parts = text.split(QLatin1Char('/'));
    int index = 0;
    int count = 0;
    if (parts.size() != 2 || !parseInteger(parts[0], &index) || !parseInteger(parts[1], &count))
        return fail(error,
            QStringLiteral("%1: give the part and the number of parts as K/N, counted from 0 (0/4 is the first "
                           "of four), or auto.")
                .arg(what));
    return checkPart(index, count, what, chunk, error);
}

bool fromScheduler(const QProcessEnvironment& environment, int chunks, Chunk* chunk, QString* error)
{
    const auto variable = [&](const char* name, int* value, bool* present) {
        const QString key = QString::fromLatin1(name);
        *present = environment.contains(key) && !environment.value(key).trimmed().isEmpty();
        if (*present && !parseInteger(environment.value(key), value))
            return fail(error,
                QStringLiteral("--chunk auto: %1 is \"%2\", not a whole number.").arg(key, environment.value(key)));
        return true;
    };
    int id = 0, count = 0, low = 0, high = 0, completion = 0;
    bool hasId = false, hasCount = false, hasLow = false, hasHigh = false, hasCompletion = false;
    if (!variable("SLURM_ARRAY_TASK_ID", &id, &hasId) || !variable("SLURM_ARRAY_TASK_COUNT", &count, &hasCount)
        || !variable("SLURM_ARRAY_TASK_MIN", &low, &hasLow) || !variable("SLURM_ARRAY_TASK_MAX", &high, &hasHigh)
        || !variable("JOB_COMPLETION_INDEX", &completion, &hasCompletion))
        return false;
    if (hasId) {
        const QString what = QStringLiteral("--chunk auto (Slurm array task %1)").arg(id);
        if (chunks > 0)
            count = chunks;
        else if (!hasCount) {
            if (!hasLow || !hasHigh)
                return fail(error,
                    QStringLiteral("%1: the number of tasks is unknown; SLURM_ARRAY_TASK_COUNT and "
                                   "SLURM_ARRAY_TASK_MIN/MAX are unset. Give --chunks N.")
                        .arg(what));
            count = high - low + 1;
        }
        return checkPart(id - low, count, what, chunk, error);
    }
    if (hasCompletion) {
        const QString what = QStringLiteral("--chunk auto (Kubernetes completion index %1)").arg(completion);
        if (chunks < 1)
            return fail(error,
                QStringLiteral("%1: give the number of completions with --chunks N (the job's completions).")
                    .arg(what));
        return checkPart(completion, chunks, what, chunk, error);
    }
    return fail(error,
        QStringLiteral("--chunk auto: no scheduler's task index found. It reads SLURM_ARRAY_TASK_ID (a Slurm job "
                       "array) or JOB_COMPLETION_INDEX (a Kubernetes Indexed Job, with --chunks N); elsewhere "
                       "give --chunk K/N."));
}

QList<Span> imageSpans(const QList<Span>& items, const Chunk& chunk)
{
    QList<Span> spans;
    if (chunk.count < 1 || chunk.index < 0 || chunk.index >= chunk.count)
        return spans;
    qint64 total = 0;
    for (const Span& item : items)
        total += std::max<qint64>(0, item.length());
    const qint64 begin = runStart(total, chunk.index, chunk.count);
    const qint64 end = runStart(total, chunk.index + 1, chunk.count);
    // `offset`: where the item starts among all the frames laid end to end.
    qint64 offset = 0;
    for (const Span& item : items) {
        const qint64 length = std::max<qint64>(0, item.length());
        const qint64 from = std::max(begin, offset);
        const qint64 to = std::min(end, offset + length);
        if (from < to)
            spans << Span { item.item, item.first + (from - offset), item.first + (to - offset) };
        offset += length;
    }
    return spans;
}

QList<int> movieItems(int itemCount, const Chunk& chunk)
{
    QList<int> items;
    if (chunk.count < 1 || chunk.index < 0 || chunk.index >= chunk.count)
        return items;
    const qint64 end = runStart(itemCount, chunk.index + 1, chunk.count);
    for (qint64 i = runStart(itemCount, chunk.index, chunk.count); i < end; ++i)
        items << int(i);
    return items;
}

} // namespace Emulsa::ChunkPlan
