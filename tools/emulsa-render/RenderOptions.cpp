#include "RenderOptions.h"

#include "core/CameraListHelper.h"
#include "core/FilmLibrary.h"
#include "core/LookCube.h"
#include "core/ProfileInfo.h"
#include "media/render/OutputSettings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>

#include <cmath>
#include <functional>
#include <iterator>

namespace Emulsa::RenderTool {

namespace {

bool parseNumber(const QString& text, double low, double high, double* value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// "R,ANGLE": strength 0..1.02 and hue angle in degrees.
bool parseWheel(const QString& text, ColorWheelData* wheel)
{
    const QStringList parts = text.split(QLatin1Char(','));
    double radius = 0;
    double degrees = 0;
    if (parts.size() != 2 || !parseNumber(parts[0], 0.0, 1.02, &radius)
        || !parseNumber(parts[1], -360.0, 360.0, &degrees))
        return false;
    double theta = degrees * M_PI / 180.0;
    // The wheels keep the hue in (-pi, pi].
    while (theta <= -M_PI)
        theta += 2 * M_PI;
    while (theta > M_PI)
        theta -= 2 * M_PI;
    wheel->radius = radius;
    wheel->theta = theta;
    return true;
}

int formatFromText(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("hq") || t == QLatin1String("high") || t == QLatin1String("0"))
        return H264HighQuality;
    if (t == QLatin1String("medium") || t == QLatin1String("1"))
        return H264Medium;
    if (t == QLatin1String("preview") || t == QLatin1String("2"))
        return H264Preview;
    if (t == QLatin1String("tiff") || t == QLatin1String("3"))
        return TiffSequence;
    // Short names of the formats after "Tiff Sequence", in menu order.
    static const char* const shortNames[] = { "prores", "prores4444", "dnxhr", "h265", "dpx", "exr" };
    for (int i = 0; i < int(std::size(shortNames)); ++i) {
        if (t == QLatin1String(shortNames[i]) || t == QString::number(ProRes422HQ + i))
            return ProRes422HQ + i;
    }
    return OutputSettings::formatForName(text);
}

// A count of parts: a whole number from 1.
bool parseCount(const QString& text, int* count)
{
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,6}$"));
    if (!number.match(text.trimmed()).hasMatch() || text.trimmed().toInt() < 1)
        return false;
    *count = text.trimmed().toInt();
    return true;
}

bool parseChunkOptions(const QCommandLineParser& parser, const QCommandLineOption& chunk,
    const QCommandLineOption& chunks, const QCommandLineOption& listChunks, const QProcessEnvironment& environment,
    RenderOptions* o, QString* error)
{
    int count = 0;
    if (parser.isSet(chunks) && !parseCount(parser.value(chunks), &count)) {
        *error = QStringLiteral("--chunks takes the number of parts, 1 or more, not \"%1\".").arg(parser.value(chunks));
        return false;
    }
    const bool automatic = parser.isSet(chunk) && parser.value(chunk).trimmed().toLower() == QLatin1String("auto");
    if (parser.isSet(chunks) && !automatic) {
        *error = QStringLiteral("--chunks N goes with --chunk auto (--chunk K/N names the count itself).");
        return false;
    }
    if (parser.isSet(listChunks)) {
        if (parser.isSet(chunk)) {
            *error = QStringLiteral("--list-chunks prints every part; it does not go with --chunk.");
            return false;
        }
        if (!parseCount(parser.value(listChunks), &o->listChunks)) {
            *error = QStringLiteral("--list-chunks takes the number of parts, 1 or more, not \"%1\".")
                         .arg(parser.value(listChunks));
            return false;
        }
    }
    if (!parser.isSet(chunk))
        return true;
    o->chunked = true;
    return automatic ? ChunkPlan::fromScheduler(environment, count, &o->chunk, error)
                     : ChunkPlan::parse(parser.value(chunk).trimmed(), &o->chunk, error);
}

} // namespace

quint32 Position::frame(quint32 rateNum, quint32 rateDen) const
{
    if (!seconds)
        return quint32(value);
    return quint32(std::llround(value * rateNum / std::max<quint32>(rateDen, 1)));
}

bool Position::parse(const QString& text, Position* position)
{
    QString t = text.trimmed();
    const bool inSeconds = t.endsWith(QLatin1Char('s'));
    if (inSeconds)
        t.chop(1);
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 0 || v > 1e9 || (!inSeconds && v != std::floor(v)))
        return false;
    position->set = true;
    position->seconds = inSeconds;
    position->value = v;
    return true;
}

bool parseRenderOptions(const QStringList& arguments, RenderOptions* options, QString* error, bool* exitNow,
    const QProcessEnvironment& environment)
{
    *exitNow = false;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QString());
    const QCommandLineOption output({ QStringLiteral("o"), QStringLiteral("output") }, QString(), QStringLiteral("f"));
    const QCommandLineOption format({ QStringLiteral("f"), QStringLiteral("format") }, QString(), QStringLiteral("f"));
    const QCommandLineOption size({ QStringLiteral("s"), QStringLiteral("size") }, QString(), QStringLiteral("s"));
    const QCommandLineOption fit(QStringLiteral("fit"), QString(), QStringLiteral("m"));
    const QCommandLineOption overwrite(QStringLiteral("overwrite"), QString());
    const QCommandLineOption keep(QStringLiteral("keep"), QString());
    const QCommandLineOption in(QStringLiteral("in"), QString(), QStringLiteral("p"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("p"));
    const QCommandLineOption profile(QStringLiteral("profile"), QString(), QStringLiteral("id"));
    const QCommandLineOption stock(QStringLiteral("stock"), QString(), QStringLiteral("s"));
    const QCommandLineOption stockAmount(QStringLiteral("stock-amount"), QString(), QStringLiteral("n"));
    const QCommandLineOption curveAmount(QStringLiteral("curve-amount"), QString(), QStringLiteral("n"));
    const QCommandLineOption gauge(QStringLiteral("gauge"), QString(), QStringLiteral("g"));
    const QCommandLineOption grain(QStringLiteral("grain"), QString(), QStringLiteral("n"));
    const QCommandLineOption exposure(QStringLiteral("exposure"), QString(), QStringLiteral("n"));
    const QCommandLineOption kelvin(QStringLiteral("kelvin"), QString(), QStringLiteral("n"));
    const QCommandLineOption shadows(QStringLiteral("shadows"), QString(), QStringLiteral("w"));
    const QCommandLineOption midtones(QStringLiteral("midtones"), QString(), QStringLiteral("w"));
    const QCommandLineOption highlights(QStringLiteral("highlights"), QString(), QStringLiteral("w"));
    const QCommandLineOption lift(QStringLiteral("lift"), QString(), QStringLiteral("n"));
    const QCommandLineOption gamma(QStringLiteral("gamma"), QString(), QStringLiteral("n"));
    const QCommandLineOption gain(QStringLiteral("gain"), QString(), QStringLiteral("n"));
    const QCommandLineOption saturation(QStringLiteral("saturation"), QString(), QStringLiteral("n"));
    const QCommandLineOption levels(QStringLiteral("levels"), QString(), QStringLiteral("l"));
    const QCommandLineOption noGrade(QStringLiteral("no-grade"), QString());
    const QCommandLineOption acceptDefaults(QStringLiteral("accept-defaults"), QString());
    const QCommandLineOption preset(QStringLiteral("preset"), QString(), QStringLiteral("p"));
    const QCommandLineOption presetFile(QStringLiteral("preset-file"), QString(), QStringLiteral("f"));
    const QCommandLineOption presetName(QStringLiteral("preset-name"), QString(), QStringLiteral("n"));
    const QCommandLineOption listStocks(QStringLiteral("list-stocks"), QString());
    const QCommandLineOption listProfiles(QStringLiteral("list-profiles"), QString());
    const QCommandLineOption listGauges(QStringLiteral("list-gauges"), QString());
    const QCommandLineOption quiet({ QStringLiteral("q"), QStringLiteral("quiet") }, QString());
    const QCommandLineOption verbose({ QStringLiteral("v"), QStringLiteral("verbose") }, QString());
    const QCommandLineOption project(QStringLiteral("project"), QString(), QStringLiteral("file"));
    const QCommandLineOption tiffDepth(QStringLiteral("tiff-depth"), QString(), QStringLiteral("n"));
    const QCommandLineOption tiffCompression(QStringLiteral("tiff-compression"), QString(), QStringLiteral("c"));
    const QCommandLineOption tiffAlpha(QStringLiteral("tiff-alpha"), QString(), QStringLiteral("a"));
    const QCommandLineOption exportCube(QStringLiteral("export-cube"), QString(), QStringLiteral("file"));
    const QCommandLineOption cubeSize(QStringLiteral("cube-size"), QString(), QStringLiteral("n"));
    const QCommandLineOption chunk(QStringLiteral("chunk"), QString(), QStringLiteral("k/n"));
    const QCommandLineOption chunks(QStringLiteral("chunks"), QString(), QStringLiteral("n"));
    const QCommandLineOption listChunks(QStringLiteral("list-chunks"), QString(), QStringLiteral("n"));
    const QCommandLineOption intermediate(QStringLiteral("intermediate"), QString());
    const QCommandLineOption assemble(QStringLiteral("assemble"), QString(), QStringLiteral("folder"));
    parser.addOptions({ help, output, format, size, fit, overwrite, keep, in, out, profile, stock, stockAmount,
        curveAmount, gauge, grain, exposure, kelvin, shadows, midtones, highlights, lift, gamma, gain, saturation,
        levels, noGrade, listStocks, listProfiles, listGauges, quiet, verbose, project, preset, presetFile, presetName,
        acceptDefaults, exportCube, cubeSize, tiffDepth, tiffCompression, tiffAlpha, chunk, chunks, listChunks,
        intermediate, assemble });
    const QCommandLineOption hwDecode(QStringLiteral("hw-decode"), QString(), QStringLiteral("mode"));
    parser.addOption(hwDecode);
    const QCommandLineOption halation(QStringLiteral("halation"), QString(), QStringLiteral("n"));
    const QCommandLineOption bloom(QStringLiteral("bloom"), QString(), QStringLiteral("n"));
    const QCommandLineOption weave(QStringLiteral("gate-weave"), QString(), QStringLiteral("n"));
    const QCommandLineOption flicker(QStringLiteral("flicker"), QString(), QStringLiteral("n"));
    const QCommandLineOption colourGrain(QStringLiteral("colour-grain"), QString(), QStringLiteral("n"));
    parser.addOptions({ halation, bloom, weave, flicker, colourGrain });
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        *exitNow = true;
        *error = renderHelpText();
        return false;
    }

    RenderOptions& o = *options;
    o.listStocks = parser.isSet(listStocks);
    o.listProfiles = parser.isSet(listProfiles);
    o.listGauges = parser.isSet(listGauges);
    o.quiet = parser.isSet(quiet);
    o.verbose = parser.isSet(verbose);
    o.acceptDefaults = parser.isSet(acceptDefaults);
    // The TIFF menus by their words: each value's place in its list is the
    // menu index.
    const struct
    {
        const QCommandLineOption& option;
        QStringList words;
        int* index;
    } tiffChoices[] = {
        { tiffDepth, { QStringLiteral("8"), QStringLiteral("16") }, &o.tiffDepth },
        { tiffCompression, { QStringLiteral("none"), QStringLiteral("lzw"), QStringLiteral("deflate") },
            &o.tiffCompression },
        { tiffAlpha, { QStringLiteral("yes"), QStringLiteral("no") }, &o.tiffAlpha },
    };
    for (const auto& choice : tiffChoices) {
        if (!parser.isSet(choice.option))
            continue;
        *choice.index = int(choice.words.indexOf(parser.value(choice.option).trimmed().toLower()));
        if (*choice.index < 0) {
            *error = QStringLiteral("--%1 is one of %2, not \"%3\".")
                         .arg(choice.option.names().first(), choice.words.join(QStringLiteral(", ")),
                             parser.value(choice.option));
            return false;
        }
    }
    if (parser.isSet(hwDecode)) {
        o.hwDecode = HardwareDecoding::parseMode(parser.value(hwDecode));
        if (!o.hwDecode) {
            *error = QStringLiteral("--hw-decode is one of %1, not \"%2\".")
                         .arg(HardwareDecoding::modeNames(), parser.value(hwDecode));
            return false;
        }
    }
    o.exportCube = parser.value(exportCube);
    if (parser.isSet(exportCube) && o.exportCube.isEmpty()) {
        *error = QStringLiteral("--export-cube needs a file.");
        return false;
    }
    if (parser.isSet(cubeSize)) {
        bool number = false;
        o.cubeSize = parser.value(cubeSize).toInt(&number);
        if (!number || !LookCube::isSupportedSize(o.cubeSize)) {
            *error = QStringLiteral("--cube-size is 17, 33 or 65, not \"%1\".").arg(parser.value(cubeSize));
            return false;
        }
    }
    if (parser.isSet(exportCube) && parser.isSet(project)) {
        *error = QStringLiteral("--export-cube takes its grade from the grade options or a preset, not a project.");
        return false;
    }
    o.clips = parser.positionalArguments();
    o.projectFile = parser.value(project);
    o.assembleFolder = parser.value(assemble);
    if (parser.isSet(assemble)) {
        if (o.assembleFolder.isEmpty() || !o.clips.isEmpty() || parser.isSet(project) || parser.isSet(chunk)
            || parser.isSet(listChunks)) {
            *error = QStringLiteral("--assemble takes one output folder, and no clips, project or parts.");
            return false;
        }
        o.overwrite = parser.isSet(overwrite);
        return true;
    }
    o.intermediate = parser.isSet(intermediate);
    if (o.intermediate && parser.isSet(format) && formatFromText(parser.value(format)) != ProRes422HQ) {
        *error = QStringLiteral("--intermediate movies are ProRes 422 HQ; -f names no other format with it.");
        return false;
    }
    if (parser.isSet(project) && (o.projectFile.isEmpty() || !o.clips.isEmpty())) {
        *error = QStringLiteral("--project takes one project file and no clips.");
        return false;
    }
    o.outputFolder = parser.isSet(output) ? parser.value(output) : QDir::currentPath();
    if (o.outputFolder.isEmpty()) {
        *error = QStringLiteral("--output needs a folder.");
        return false;
    }
    if (o.intermediate)
        o.format = ProRes422HQ;
    else if (parser.isSet(format)) {
        o.format = formatFromText(parser.value(format));
        if (o.format < 0) {
            *error = QStringLiteral("Unknown format \"%1\". Choose one of: %2.")
                         .arg(parser.value(format), OutputSettings::formatNames().join(QStringLiteral(", ")));
            return false;
        }
    }
    if (parser.isSet(size) && parser.value(size).trimmed().toLower() != QLatin1String("source")) {
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})\\s*$"))
                  .match(parser.value(size));
        if (!m.hasMatch()) {
            *error = QStringLiteral("--size wants WIDTHxHEIGHT (e.g. 1920x1080) or \"source\", not \"%1\".")
                         .arg(parser.value(size));
            return false;
        }
        o.sourceSize = false;
        o.size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        const QString problem = OutputSettings::formatSizeProblem(o.size.width(), o.size.height(), o.format);
        if (!problem.isEmpty()) {
            *error = problem;
            return false;
        }
    }
    if (parser.isSet(fit)) {
        const QString f = parser.value(fit).trimmed().toLower();
        if (f == QLatin1String("width"))
            o.fit = FitWidth;
        else if (f == QLatin1String("height"))
            o.fit = FitHeight;
        else if (f == QLatin1String("stretch"))
            o.fit = StretchToFit;
        else {
            *error = QStringLiteral("--fit is width, height or stretch, not \"%1\".").arg(parser.value(fit));
            return false;
        }
    }
    if (parser.isSet(overwrite) && parser.isSet(keep)) {
        *error = QStringLiteral("--overwrite and --keep exclude each other.");
        return false;
    }
    o.overwrite = parser.isSet(overwrite);
    if (!parseChunkOptions(parser, chunk, chunks, listChunks, environment, &o, error))
        return false;
    if ((parser.isSet(in) && !Position::parse(parser.value(in), &o.in))
        || (parser.isSet(out) && !Position::parse(parser.value(out), &o.out))) {
        *error = QStringLiteral("--in and --out take a frame number (e.g. 48) or seconds (e.g. 2.5s).");
        return false;
    }

    o.preset = parser.value(preset);
    o.presetFile = parser.value(presetFile);
    o.presetName = parser.value(presetName);
    if (parser.isSet(preset) && parser.isSet(presetFile)) {
        *error = QStringLiteral("--preset and --preset-file exclude each other.");
        return false;
    }
    if (parser.isSet(presetName) && !parser.isSet(presetFile)) {
        *error = QStringLiteral("--preset-name names a preset of the --preset-file.");
        return false;
    }

    ClipSettings& g = o.grade;
    if (parser.isSet(profile))
        o.profileText = parser.value(profile);
    if (parser.isSet(stock))
        o.stockText = parser.value(stock);
    // Numeric grade options, checked and applied in this order.
    const struct
    {
        const QCommandLineOption& option;
        double low;
        double high;
        std::function<void(double)> set;
    } numbers[] = {
        { stockAmount, 0, 100, [&g](double v) { g.setStockLUTAmount(int(std::lround(v))); } },
        { curveAmount, 0, 100, [&g](double v) { g.setStockCurveAmount(int(std::lround(v))); } },
        { grain, 0, 200, [&g](double v) { g.setGrainAmount(int(std::lround(v))); } },
        { exposure, -1.5, 1.5, [&g](double v) { g.setExposure(float(v)); } },
        { kelvin, 1700, 12000, [&g](double v) { g.setKelvin(float(v)); } },
        { lift, 0.5, 1.5, [&g](double v) { g.setLift(float(v)); } },
        { gamma, 0.5, 1.5, [&g](double v) { g.setGamma(float(v)); } },
        { gain, 0.5, 1.5, [&g](double v) { g.setGain(float(v)); } },
        { saturation, 0.0, 2.0, [&g](double v) { g.setSaturation(float(v)); } },
        { halation, 0, 100, [&g](double v) { g.setHalationAmount(int(std::lround(v))); } },
        { bloom, 0, 100, [&g](double v) { g.setBloomAmount(int(std::lround(v))); } },
        { weave, 0, 100, [&g](double v) { g.setWeaveAmount(int(std::lround(v))); } },
        { flicker, 0, 100, [&g](double v) { g.setFlickerAmount(int(std::lround(v))); } },
        { colourGrain, 0, 100, [&g](double v) { g.setColourGrainAmount(int(std::lround(v))); } },
    };
    for (const auto& number : numbers) {
        if (!parser.isSet(number.option))
            continue;
        double v = 0;
        if (!parseNumber(parser.value(number.option), number.low, number.high, &v)) {
            *error = QStringLiteral("--%1 takes a number from %2 to %3, not \"%4\".")
                         .arg(number.option.names().constLast())
                         .arg(number.low)
                         .arg(number.high)
                         .arg(parser.value(number.option));
            return false;
        }
        number.set(v);
    }
    const struct
    {
        const QCommandLineOption& option;
        void (ClipSettings::*set)(const ColorWheelData&);
    } wheels[] = { { shadows, &ClipSettings::setLow }, { midtones, &ClipSettings::setMid },
        { highlights, &ClipSettings::setHigh } };
    for (const auto& wheel : wheels) {
        if (!parser.isSet(wheel.option))
            continue;
        ColorWheelData data;
        if (!parseWheel(parser.value(wheel.option), &data)) {
            *error = QStringLiteral("--%1 takes STRENGTH,HUE: strength 0..1 and hue in degrees (e.g. 0.2,200).")
                         .arg(wheel.option.names().constFirst());
            return false;
        }
        (g.*wheel.set)(data);
    }
    if (parser.isSet(levels)) {
        const QStringList parts = parser.value(levels).split(QLatin1Char(','));
        double b = 0, m = 0, w = 0;
        if (parts.size() != 3 || !parseNumber(parts[0], 0, 1, &b) || !parseNumber(parts[1], 0, 1, &m)
            || !parseNumber(parts[2], 0, 1, &w) || !(b < m && m < w)) {
            *error = QStringLiteral("--levels takes BLACK,MID,WHITE, each 0..1 and rising (e.g. 0.02,0.5,0.98).");
            return false;
        }
        g.setHistogramSliderData(HistogramSliderData { float(b), float(m), float(w) });
    }
    if (parser.isSet(gauge)) {
        const QString wanted = parser.value(gauge).trimmed();
        QString found;
        for (const QString& name : ClipSettings::grainScaleNames()) {
            if (name.compare(wanted, Qt::CaseInsensitive) == 0)
                found = name;
        }
        if (found.isEmpty()) {
            *error = QStringLiteral("Unknown gauge \"%1\". Choose one of: %2.")
                         .arg(wanted, ClipSettings::grainScaleNames().join(QStringLiteral(", ")));
            return false;
        }
        g.setGrainScaleName(found);
    }
    if (parser.isSet(noGrade)) {
        g.setStockLUTAmount(0);
        g.setStockCurveAmount(0);
        g.setGrainAmount(0);
    }
    if (o.clips.isEmpty() && o.projectFile.isEmpty() && o.exportCube.isEmpty() && !o.listStocks && !o.listProfiles
        && !o.listGauges) {
        *error = QStringLiteral("No clip given. Try --help.");
        return false;
    }
    return true;
}

QStringList stockLines()
{
    QStringList lines;
    const QMap<QString, QString>& catalogue = FilmLibrary::instance()->stockCatalogue();
    for (auto it = catalogue.constBegin(); it != catalogue.constEnd(); ++it)
        lines << QStringLiteral("%1  %2").arg(it.value(), -20).arg(it.key());
    return lines;
}

QStringList profileLines(bool all)
{
    QStringList lines;
    CameraListHelper* catalogue = CameraListHelper::instance();
    if (!catalogue->load())
        return lines;
    for (const auto& manufacturer : catalogue->manufacturers()) {
        for (const auto& model : manufacturer.models) {
            for (const auto& profile : model.profiles) {
                if (!profile.info || (!all && !FilmLibrary::instance()->isProfileInstalled(profile.info)))
                    continue;
                lines << QStringLiteral("%1  %2 / %3 / %4")
                             .arg(QString::fromLatin1(profile.info->id), -6)
                             .arg(manufacturer.name, model.name, profile.name);
            }
        }
    }
    return lines;
}

bool resolveGrade(const QString& profileText, const QString& stockText, ClipSettings* grade, QString* error)
{
    const QByteArray id = profileText.trimmed().toLatin1();
    CameraListHelper* catalogue = CameraListHelper::instance();
    const ProfileInfo* profile = nullptr;
    if (catalogue->load() && id.size() == 4)
        profile = catalogue->getProfile(ProfileInfo::packId(id.constData()));
    if (!profile || !FilmLibrary::instance()->isProfileInstalled(profile)) {
        const QStringList valid = profileLines();
        *error = QStringLiteral("Unknown or uninstalled camera profile \"%1\". Installed profiles:\n  %2")
                     .arg(profileText,
                         valid.isEmpty() ? QStringLiteral("(none: is the film data folder installed?)")
                                         : valid.join(QStringLiteral("\n  ")));
        return false;
    }
    grade->setSourceType(profile->profileId());

    const QMap<QString, QString>& stocks = FilmLibrary::instance()->stockCatalogue();
    QString code;
    for (auto it = stocks.constBegin(); it != stocks.constEnd(); ++it) {
        if (it.value().compare(stockText.trimmed(), Qt::CaseInsensitive) == 0
            || it.key().compare(stockText.trimmed(), Qt::CaseInsensitive) == 0)
            code = it.value();
    }
    if (code.isEmpty() || !FilmLibrary::instance()->loadStockTable(code, grade->getSourceType()).get()) {
        *error = QStringLiteral("Unknown stock \"%1\" for profile %2. Valid stocks (code, name):\n  %3")
                     .arg(stockText, profileText, stockLines().join(QStringLiteral("\n  ")));
        return false;
    }
    grade->setStockName(code);
    return true;
}

} // namespace Emulsa::RenderTool
