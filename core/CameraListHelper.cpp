#include "core/CameraListHelper.h"

#include "core/ApplicationPaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace Emulsa {

namespace {

const char kFilePrefix[] = "cameraList_v";

template<std::size_t N> constexpr int tagLength(const char (&)[N])
{
    return int(N - 1);
}

const char kManufacturersOpen[] = "<manufacturers>";
const char kManufacturersClose[] = "</manufacturers>";
const char kManufacturerOpen[] = "<manufacturer";
const char kManufacturerClose[] = "</manufacturer>";
const char kModelsOpen[] = "<models>";
const char kModelsClose[] = "</models>";
const char kModelOpen[] = "<model";
const char kModelClose[] = "</model>";
const char kProfilesOpen[] = "<profiles>";
const char kProfilesClose[] = "</profiles>";
const char kProfileOpen[] = "<profile";
const char kProfileClose[] = "</profile>";

// The text of an element: from one character after its opening tag name (the
// character after the name is skipped) up to its closing tag.
QByteArray elementText(const QByteArray& text, int tagStart, int tagLength, int closeStart)
{
    const int from = tagStart + tagLength + 1;
    if (closeStart <= from)
        return QByteArray();
    return text.mid(from, closeStart - from);
}

// Reads the value of `name` at or after *cursor: the text between the first
// two double quotes after the name. Moves the cursor past the closing quote.
// Any part missing gives an empty value and leaves the cursor where it was.
QByteArray readAttribute(const QByteArray& element, const char* name, int* cursor)
{
    const int at = element.indexOf(name, *cursor);
    if (at < 0)
        return QByteArray();
    const int open = element.indexOf('"', at + int(std::strlen(name)));
    if (open < 0)
        return QByteArray();
    const int close = element.indexOf('"', open + 1);
    if (close < 0)
        return QByteArray();
    *cursor = close + 1;
    return element.mid(open + 1, close - open - 1);
}

} // namespace

const char CameraListHelper::kAddedManufacturer[] = "Added cameras";

QString CameraListHelper::addedCataloguePath()
{
    return ApplicationPaths::instance()->userProfilesPath() + QStringLiteral("addedCameras.xml");
}

QString CameraListHelper::addedCubePath(const QByteArray& id)
{
    return ApplicationPaths::instance()->userProfilesPath() + QStringLiteral("Added/") + QString::fromLatin1(id)
        + QStringLiteral(".cube");
}

bool CameraListHelper::isAddedProfile(const ProfileInfo* profile)
{
    return profile && qstrcmp(profile->manufacturer, kAddedManufacturer) == 0;
}

bool CameraListHelper::addProfiles(const QByteArray& text)
{
    QMutexLocker lock(&m_mutex);
    if (!m_loaded)
        return false;
    const int firstManufacturer = m_manufacturers.size();
    const std::size_t firstRecord = m_records.size();
    if (!parse(text)) {
        m_manufacturers.resize(firstManufacturer);
        return false;
    }
    for (std::size_t i = firstRecord; i < m_records.size(); ++i) {
        const ProfileInfo* record = m_records[i].get();
        if (!m_byId.emplace(record->profileId(), record).second)
            skip(QStringLiteral("added profile %1: the catalogue has this id").arg(QString::fromUtf8(record->id)));
    }
    // Profiles left out are dropped from the tree too, and models of a
    // manufacturer the tree has already join it.
    for (int m = firstManufacturer; m < m_manufacturers.size(); ++m) {
        for (Model& model : m_manufacturers[m].models)
            model.profiles.erase(std::remove_if(model.profiles.begin(), model.profiles.end(),
                                     [this](const Profile& p) {
                                         const auto it = m_byId.find(p.info->profileId());
                                         return it == m_byId.end() || it->second != p.info;
                                     }),
                model.profiles.end());
        for (int earlier = 0; earlier < m; ++earlier) {
            if (m_manufacturers[earlier].name == m_manufacturers[m].name) {
                m_manufacturers[earlier].models += m_manufacturers[m].models;
                m_manufacturers.remove(m--);
                break;
            }
        }
    }
    return true;
}

CameraListHelper* CameraListHelper::instance()
{
    static CameraListHelper helper;
    return &helper;
}

CameraListHelper::CameraListHelper()
{
    getXMLPath();
}

CameraListHelper::~CameraListHelper() = default;

int CameraListHelper::catalogueVersion(const QString& fileName)
{
    if (!fileName.startsWith(QLatin1String(kFilePrefix)))
        return 0;
    const QString digits = fileName.mid(tagLength(kFilePrefix), 3);
    if (digits.size() != 3)
        return 0;
    int version = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        version = version * 10 + (c.unicode() - '0');
    }
    return version;
}

QString CameraListHelper::newestCatalogueIn(const QString& folder)
{
    if (folder.isEmpty())
        return QString();
    const QDir dir(folder);
    const QStringList filter { QLatin1String(kFilePrefix) + QLatin1String("*.") + QLatin1String("xml") };
    const QFileInfoList files
        = dir.entryInfoList(filter, QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
    int best = -1;
    QString path;
    for (const QFileInfo& file : files) {
        const int version = catalogueVersion(file.fileName());
        if (version > best) {
            best = version;
            path = file.absoluteFilePath();
        }
    }
    return path;
}

QString CameraListHelper::getXMLPath()
{
    const QString path = newestCatalogueIn(ApplicationPaths::instance()->resourcesPath());
    qInfo().noquote() << "CameraListHelper: using Camera profile file:" << path;
    QMutexLocker lock(&m_mutex);
    m_xmlPath = path;
    return path;
}

QString CameraListHelper::xmlPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_xmlPath;
}

bool CameraListHelper::isLoaded() const
{
    QMutexLocker lock(&m_mutex);
    return m_loaded;
}

const QVector<CameraListHelper::Manufacturer>& CameraListHelper::manufacturers() const
{
    return m_manufacturers;
}

QString CameraListHelper::lastError() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastError;
}

const ProfileInfo* CameraListHelper::getProfile(unsigned int id) const
{
    if (std::int32_t(id) < 0)
        return nullptr;
    QMutexLocker lock(&m_mutex);
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

bool CameraListHelper::fail(const QString& message)
{
    m_lastError = message;
    qWarning().noquote() << "CameraListHelper:" << message;
    return false;
}

void CameraListHelper::skip(const QString& what)
{
    qWarning().noquote() << "CameraListHelper: skipping" << what;
}

bool CameraListHelper::load()
{
    QMutexLocker lock(&m_mutex);
    if (m_loaded)
        return true;

    QFile file(m_xmlPath);
    if (m_xmlPath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        const QString reason = m_xmlPath.isEmpty() ? QStringLiteral("no camera profile file") : file.errorString();
        return fail(
            QString::asprintf("Could not open file %s\n[%s]", qUtf8Printable(m_xmlPath), qUtf8Printable(reason)));
    }
    const qint64 size = file.size();
    std::unique_ptr<char[]> buffer(size >= 0 && size < qint64(INT_MAX) ? new (std::nothrow) char[size + 1] : nullptr);
    if (!buffer)
        return fail(QStringLiteral("Failed to allocate memory!"));
    qint64 done = 0;
    while (done < size) {
        const qint64 got = file.read(buffer.get() + done, size - done);
        if (got <= 0)
            break;
        done += got;
    }
    if (done != size)
        return fail(QString::asprintf("Did not read complete file %s\n", qUtf8Printable(m_xmlPath)));
    buffer[size] = '\0';

    lock.unlock();
    if (!loadFromData(QByteArray(buffer.get(), int(size))))
        return false;
    QFile added(addedCataloguePath());
    if (added.exists()) {
        if (!added.open(QIODevice::ReadOnly) || !addProfiles(added.read(qint64(1) << 24)))
            qWarning() << "CameraListHelper: the added cameras in" << added.fileName() << "cannot be read";
    }
    return true;
}

bool CameraListHelper::loadFromData(const QByteArray& text)
{
    QMutexLocker lock(&m_mutex);
    if (m_loaded)
        return true;
    // A retry after a failed parse starts a fresh tree; records already
    // handed out stay alive in m_records.
    m_manufacturers.clear();
    const std::size_t firstRecord = m_records.size();
    if (!parse(text))
        return false;

    m_byId.clear();
    for (std::size_t i = firstRecord; i < m_records.size(); ++i)
        m_byId[m_records[i]->profileId()] = m_records[i].get();
    m_loaded = true;
    return true;
}

bool CameraListHelper::parse(const QByteArray& text)
{
    const int containerOpen = text.indexOf(kManufacturersOpen);
    if (containerOpen < 0)
        return fail(QStringLiteral("no <manufacturers> element"));
    if (text.indexOf(kManufacturersClose, containerOpen) < 0)
        return fail(QStringLiteral("no </manufacturers> after <manufacturers>"));

    int start = text.indexOf(kManufacturerOpen, containerOpen + 1);
    if (start < 0)
        return fail(QStringLiteral("no <manufacturer> element"));
    int end = text.indexOf(kManufacturerClose, start);
    if (end < 0)
        return fail(QStringLiteral("no </manufacturer> after <manufacturer"));

    // The later searches run over the rest of the document.
    for (;;) {
        if (!parseManufacturer(elementText(text, start, tagLength(kManufacturerOpen), end)))
            return false;
        start = text.indexOf(kManufacturerOpen, end + tagLength(kManufacturerClose));
        if (start < 0)
            break;
        end = text.indexOf(kManufacturerClose, start);
        if (end < 0)
            break;
    }
    return true;
}

bool CameraListHelper::parseManufacturer(const QByteArray& element)
{
    int cursor = 0;
    const QByteArray name = readAttribute(element, "name", &cursor);
    if (name.isEmpty())
        return fail(QStringLiteral("manufacturer without a name"));
    if (name.size() >= int(ProfileInfo::kFieldSize) || name.contains('\0')) {
        skip(QStringLiteral("manufacturer %1: its name does not fit (%2 characters at most)")
                 .arg(QString::fromUtf8(name))
                 .arg(ProfileInfo::kFieldSize - 1));
        return true;
    }
    m_manufacturers.append(Manufacturer { QString::fromUtf8(name), {} });
    return parseModels(element, &m_manufacturers.last(), name);
}

bool CameraListHelper::parseModels(
    const QByteArray& element, Manufacturer* manufacturer, const QByteArray& manufacturerName)
{
    const int containerOpen = element.indexOf(kModelsOpen);
    if (containerOpen < 0 || element.indexOf(kModelsClose, containerOpen) < 0)
        return fail(QStringLiteral("manufacturer %1 has no <models> element").arg(QString::fromUtf8(manufacturerName)));
    int start = element.indexOf(kModelOpen, containerOpen + 1);
    if (start < 0)
        return fail(QStringLiteral("manufacturer %1 has no <model> element").arg(QString::fromUtf8(manufacturerName)));

    int end = element.indexOf(kModelClose, start);
    if (end < 0)
        return fail(QStringLiteral("<model> without </model>"));
    for (;;) {
        const QByteArray text = elementText(element, start, tagLength(kModelOpen), end);
        int cursor = 0;
        const QByteArray name = readAttribute(text, "name", &cursor);
        const QByteArray id = readAttribute(text, "id", &cursor);
        if (name.isEmpty() || id.isEmpty())
            return fail(QStringLiteral("model of %1 without a name or an id").arg(QString::fromUtf8(manufacturerName)));
        if (name.size() >= int(ProfileInfo::kFieldSize) || id.size() >= int(ProfileInfo::kFieldSize)
            || name.contains('\0') || id.contains('\0')) {
            skip(QStringLiteral("model %1 (%2) of %3: its name or id does not fit (%4 characters at most)")
                     .arg(QString::fromUtf8(name), QString::fromUtf8(id), QString::fromUtf8(manufacturerName))
                     .arg(ProfileInfo::kFieldSize - 1));
        } else {
            manufacturer->models.append(Model { QString::fromUtf8(name), {} });
            if (!parseProfiles(text, &manufacturer->models.last(), manufacturerName, name, id))
                return false;
            // Every profile skipped: a model with nothing to choose is dropped.
            if (manufacturer->models.last().profiles.isEmpty())
                manufacturer->models.removeLast();
        }
        start = element.indexOf(kModelOpen, end + tagLength(kModelClose));
        if (start < 0)
            break;
        end = element.indexOf(kModelClose, start);
        if (end < 0)
            break;
    }
    return true;
}

bool CameraListHelper::parseProfiles(const QByteArray& element, Model* model, const QByteArray& manufacturerName,
    const QByteArray& modelName, const QByteArray& modelId)
{
    const int containerOpen = element.indexOf(kProfilesOpen);
    if (containerOpen < 0 || element.indexOf(kProfilesClose, containerOpen) < 0)
        return fail(QStringLiteral("model %1 has no <profiles> element").arg(QString::fromUtf8(modelName)));
    int start = element.indexOf(kProfileOpen, containerOpen + 1);
    if (start < 0)
        return fail(QStringLiteral("model %1 has no <profile> element").arg(QString::fromUtf8(modelName)));

    int end = element.indexOf(kProfileClose, start);
    if (end < 0)
        return fail(QStringLiteral("<profile> without </profile>"));
    for (;;) {
        const QByteArray text = elementText(element, start, tagLength(kProfileOpen), end);
        int cursor = 0;
        const QByteArray abbr = readAttribute(text, "abbr", &cursor);
        const QByteArray name = readAttribute(text, "name", &cursor);
        const QByteArray bin = readAttribute(text, "bin", &cursor);
        const QByteArray tin = readAttribute(text, "tin", &cursor);
        const QByteArray id = readAttribute(text, "id", &cursor);
        if (abbr.isEmpty() || name.isEmpty() || bin.isEmpty() || tin.isEmpty() || id.isEmpty())
            return fail(QStringLiteral("profile of model %1 lacks abbr, name, bin, tin or id (in this order)")
                            .arg(QString::fromUtf8(modelName)));

        auto record = std::make_unique<ProfileInfo>();
        const bool fits = ProfileInfo::setField(record->manufacturer, sizeof(record->manufacturer), manufacturerName)
            && ProfileInfo::setField(record->model, sizeof(record->model), modelName)
            && ProfileInfo::setField(record->modelId, sizeof(record->modelId), modelId)
            && ProfileInfo::setField(record->abbr, sizeof(record->abbr), abbr)
            && ProfileInfo::setField(record->name, sizeof(record->name), name)
            && ProfileInfo::setField(record->bin, sizeof(record->bin), bin)
            && ProfileInfo::setField(record->tin, sizeof(record->tin), tin)
            && ProfileInfo::setField(record->id, sizeof(record->id), id);
        if (fits) {
            model->profiles.append(Profile { QString::fromUtf8(name), record.get() });
            m_records.push_back(std::move(record));
        } else {
            skip(QStringLiteral("profile %1 (%2) of model %3: a value does not fit its field "
                                "(63 characters, 7 for id)")
                     .arg(QString::fromUtf8(name), QString::fromUtf8(id), QString::fromUtf8(modelName)));
        }

        start = element.indexOf(kProfileOpen, end + tagLength(kProfileClose));
        if (start < 0)
            break;
        end = element.indexOf(kProfileClose, start);
        if (end < 0)
            break;
    }
    return true;
}

} // namespace Emulsa
