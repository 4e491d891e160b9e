#include "core/CubeLut.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cmath>

namespace Emulsa {

namespace {

constexpr qint64 kMaxFileBytes = qint64(512) * 1024 * 1024;

QString lineError(int line, const QString& what)
{
    return QStringLiteral("Line %1: %2.").arg(line).arg(what);
}

// The words of a line after its keyword, as finite numbers; false with
// *error set when there are not `count` of them or one is not a number.
bool readNumbers(const QList<QByteArray>& words, int first, int count, int line, double* out, QString* error)
{
    if (words.size() - first != count) {
        *error = lineError(line, QStringLiteral("expected %1 numbers, found %2").arg(count).arg(words.size() - first));
        return false;
    }
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const double value = words[first + i].toDouble(&ok);
        if (!ok) {
            *error = lineError(line, QStringLiteral("\"%1\" is not a number").arg(QString::fromUtf8(words[first + i])));
            return false;
        }
        if (!std::isfinite(value)) {
            *error
                = lineError(line, QStringLiteral("%1 is not a finite number").arg(QString::fromUtf8(words[first + i])));
            return false;
        }
        out[i] = value;
    }
    return true;
}

} // namespace

bool CubeLut::parse(const QByteArray& text, CubeLut* lut, QString* error)
{
    CubeLut result;
    std::size_t expected = 0;
    std::size_t entries = 0;
    int lineNumber = 0;
    int lastEntryLine = 0;
    int start = 0;
    while (start <= text.size()) {
        int end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArray line = text.mid(start, end - start).trimmed();
        start = end + 1;
        ++lineNumber;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> words = line.simplified().split(' ');
        const QByteArray& key = words.front();
        if (key == "TITLE") {
            if (result.size > 0 && entries > 0) {
                *error = lineError(lineNumber, QStringLiteral("TITLE after the table entries"));
                return false;
            }
            QByteArray title = line.mid(5).trimmed();
            if (title.size() >= 2 && title.startsWith('"') && title.endsWith('"'))
                title = title.mid(1, title.size() - 2);
            result.title = QString::fromUtf8(title);
        } else if (key == "LUT_1D_SIZE" || key == "LUT_1D_INPUT_RANGE") {
            *error = lineError(lineNumber, QStringLiteral("1D tables are not supported, only 3D ones"));
            return false;
        } else if (key == "LUT_3D_SIZE") {
            if (result.size > 0) {
                *error = lineError(lineNumber, QStringLiteral("a second LUT_3D_SIZE line"));
                return false;
            }
            bool ok = false;
            const int size = words.size() == 2 ? words[1].toInt(&ok) : 0;
            if (!ok) {
                *error = lineError(lineNumber, QStringLiteral("LUT_3D_SIZE needs one whole number"));
                return false;
            }
            if (size < kMinSize || size > kMaxSize) {
                *error = lineError(lineNumber,
                    QStringLiteral("LUT_3D_SIZE %1 is outside %2..%3").arg(size).arg(kMinSize).arg(kMaxSize));
                return false;
            }
            result.size = size;
            expected = std::size_t(size) * size * size;
            result.rgb.reserve(expected * 3);
        } else if (key == "LUT_3D_INPUT_RANGE") {
            // The same domain for all three inputs.
            double values[2];
            if (!readNumbers(words, 1, 2, lineNumber, values, error))
                return false;
            if (!(values[1] > values[0])) {
                *error = lineError(lineNumber, QStringLiteral("the input range must rise"));
                return false;
            }
            result.domainMin.fill(values[0]);
            result.domainMax.fill(values[1]);
        } else if (key == "DOMAIN_MIN" || key == "DOMAIN_MAX") {
            double values[3];
            if (!readNumbers(words, 1, 3, lineNumber, values, error))
                return false;
            std::array<double, 3>& domain = key == "DOMAIN_MIN" ? result.domainMin : result.domainMax;
            std::copy(values, values + 3, domain.begin());
            if (key == "DOMAIN_MAX") {
                for (int c = 0; c < 3; ++c) {
                    if (!(result.domainMax[c] > result.domainMin[c])) {
                        *error = lineError(lineNumber, QStringLiteral("DOMAIN_MAX must be above DOMAIN_MIN"));
                        return false;
                    }
                }
            }
        } else {
            const char first = key.front();
            const bool numeric = (first >= '0' && first <= '9') || first == '-' || first == '+' || first == '.'
                || key.toLower().startsWith("nan") || key.toLower().startsWith("inf");
            if (!numeric) {
                *error = lineError(lineNumber, QStringLiteral("unknown keyword \"%1\"").arg(QString::fromUtf8(key)));
                return false;
            }
            if (result.size == 0) {
                *error = lineError(lineNumber, QStringLiteral("a table entry before the LUT_3D_SIZE line"));
                return false;
            }
            if (entries == expected) {
                *error = lineError(lineNumber,
                    QStringLiteral("more than the %1 entries of a %2-point table").arg(expected).arg(result.size));
                return false;
            }
            double values[3];
            if (!readNumbers(words, 0, 3, lineNumber, values, error))
                return false;
            for (double v : values)
                result.rgb.push_back(float(v));
            ++entries;
            lastEntryLine = lineNumber;
        }
    }
    if (result.size == 0) {
        *error = lineError(lineNumber, QStringLiteral("no LUT_3D_SIZE line"));
        return false;
    }
    if (entries != expected) {
        *error = lineError(lastEntryLine > 0 ? lastEntryLine : lineNumber,
            QStringLiteral("the table ends after %1 of its %2 entries").arg(entries).arg(expected));
        return false;
    }
    for (int c = 0; c < 3; ++c) {
        if (!(result.domainMax[c] > result.domainMin[c])) {
            *error = lineError(lineNumber, QStringLiteral("DOMAIN_MAX must be above DOMAIN_MIN"));
            return false;
        }
    }
    *lut = std::move(result);
    return true;
}

bool CubeLut::read(const QString& path, CubeLut* lut, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Can't open %1: %2.").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        *error = QStringLiteral("%1 is too large for a .cube file.").arg(path);
        return false;
    }
    return parse(file.readAll(), lut, error);
}

std::array<double, 3> CubeLut::apply(const std::array<double, 3>& in) const
{
    int i0[3], i1[3];
    double t[3];
    const int last = size - 1;
    for (int c = 0; c < 3; ++c) {
        const double u = std::clamp((in[c] - domainMin[c]) / (domainMax[c] - domainMin[c]), 0.0, 1.0) * last;
        i0[c] = std::min(int(u), last - 1);
        i1[c] = i0[c] + 1;
        t[c] = u - i0[c];
    }
    const auto at = [this](int r, int g, int b, int c) {
        return double(rgb[(std::size_t(b) * size * size + std::size_t(g) * size + r) * 3 + c]);
    };
    std::array<double, 3> out;
    for (int c = 0; c < 3; ++c) {
        const double c00 = at(i0[0], i0[1], i0[2], c) * (1 - t[0]) + at(i1[0], i0[1], i0[2], c) * t[0];
        const double c10 = at(i0[0], i1[1], i0[2], c) * (1 - t[0]) + at(i1[0], i1[1], i0[2], c) * t[0];
        const double c01 = at(i0[0], i0[1], i1[2], c) * (1 - t[0]) + at(i1[0], i0[1], i1[2], c) * t[0];
        const double c11 = at(i0[0], i1[1], i1[2], c) * (1 - t[0]) + at(i1[0], i1[1], i1[2], c) * t[0];
        const double c0 = c00 * (1 - t[1]) + c10 * t[1];
        const double c1 = c01 * (1 - t[1]) + c11 * t[1];
        out[c] = c0 * (1 - t[2]) + c1 * t[2];
    }
    return out;
}

} // namespace Emulsa
