#include "core/LookCube.h"

#include "core/FilmLibrary.h"
#include "core/GradeTables.h"
#include "core/ReferenceGrade.h"

#include <QSaveFile>

#include <algorithm>

namespace Emulsa {

bool LookCube::bake(const ClipSettings& grade, int size, const QString& title, LookCube* cube, QString* error,
    const std::atomic_bool* cancel, const std::function<void(double)>& progress)
{
    if (!isSupportedSize(size)) {
        *error = QStringLiteral("A LUT is 17, 33 or 65 points a side, not %1.").arg(size);
        return false;
    }
    GradeTables tables;
    tables.applySettings(grade);
    ReferenceGradeInputs inputs = ReferenceGradeInputs::fromTables(tables, grade);
    // Grain is left out: it varies from pixel to pixel and frame to frame.
    inputs.grainAmount = 0.0f;
    StockTableData stock;
    if (grade.getStockLUTAmount() > 0 || grade.getStockCurveAmount() > 0) {
        stock = FilmLibrary::instance()->loadStockTable(grade.getStockName(), grade.getSourceType());
        if (!stock) {
            *error = QStringLiteral("The stock %1 has no table for this camera profile.").arg(grade.getStockName());
            return false;
        }
        inputs.stockTable = stock.get();
    }

    cube->size = size;
    cube->title = title;
    cube->rgb.assign(size_t(size) * size * size * 3, 0.0f);
    const float step = 1.0f / float(size - 1);
    const size_t plane = size_t(size) * size;
    // One blue plane at a time: a row of size x size pixels.
    for (int b = 0; b < size; ++b) {
        if (cancel && cancel->load()) {
            *error = QStringLiteral("The LUT export was cancelled.");
            return false;
        }
        float* out = cube->rgb.data() + size_t(b) * plane * 3;
        for (int g = 0; g < size; ++g) {
            for (int r = 0; r < size; ++r) {
                float* entry = out + (size_t(g) * size + r) * 3;
                entry[0] = r * step;
                entry[1] = g * step;
                entry[2] = b * step;
            }
        }
        ReferenceGrade::gradeRgb(out, out, int(plane), 1, inputs);
        for (size_t i = 0; i < plane * 3; ++i)
            out[i] = std::clamp(out[i], 0.0f, 1.0f);
        if (progress)
            progress(double(b + 1) / size);
    }
    return true;
}

QByteArray LookCube::text() const
{
    QByteArray text;
    text.reserve(int(rgb.size()) * 9 + 128);
    QString name = title;
    name.replace(QLatin1Char('"'), QLatin1Char('\''));
    text += "TITLE \"" + name.toUtf8() + "\"\n";
    text += "LUT_3D_SIZE " + QByteArray::number(size) + "\n";
    text += "DOMAIN_MIN 0.0 0.0 0.0\nDOMAIN_MAX 1.0 1.0 1.0\n";
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        text += QByteArray::number(double(rgb[i]), 'f', 6) + ' ' + QByteArray::number(double(rgb[i + 1]), 'f', 6) + ' '
            + QByteArray::number(double(rgb[i + 2]), 'f', 6) + '\n';
    }
    return text;
}

bool LookCube::write(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("Can't write %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = text();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("Can't write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace Emulsa
