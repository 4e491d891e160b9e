#pragma once

#include "core/ProfileInfo.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QVector>
#include <map>
#include <memory>
#include <vector>

namespace Emulsa {

// The camera profile catalogue: finds the newest "cameraList_vNNN.xml" in the
// data root's resources folder, parses it into a manufacturer -> model ->
// profile tree and answers which profile has a given id.
//
// The catalogue is parsed with plain substring searches, not as XML: inside
// each start tag the attributes must come in a fixed order
// (model: name, id; profile: abbr, name, bin, tin, id), values in double
// quotes. An empty value makes the whole parse fail; a value longer than its
// field (63 characters, 7 for id) skips only its profile, model or
// manufacturer, with a warning naming it.
class CameraListHelper
{
public:
    struct Profile
    {
        QString name;
        const ProfileInfo* info = nullptr; // owned by the helper
    };
    struct Model
    {
        QString name;
        QVector<Profile> profiles;
    };
    struct Manufacturer
    {
        QString name;
        QVector<Model> models;
    };

    // The process-wide catalogue; created on first use (choosing the file
    // with getXMLPath()), destroyed at exit.
    static CameraListHelper* instance();

    // A separate catalogue reading from ApplicationPaths' resources folder as
    // it is now (the singleton goes through this too; tests use it directly).
    CameraListHelper();
    ~CameraListHelper();
    CameraListHelper(const CameraListHelper&) = delete;
    CameraListHelper& operator=(const CameraListHelper&) = delete;

    // Chooses the catalogue file in the resources folder, stores and returns
    // its absolute path (empty when there is none) and logs it.
    QString getXMLPath();
    // The path chosen last; empty when no catalogue was found.
    QString xmlPath() const;

    // The file name's version: the three characters after "cameraList_v" as
    // a decimal number, 0 when they are not three digits.
    static int catalogueVersion(const QString& fileName);
    // The file of `folder` with the highest version (the first of equal
    // versions in name order), or an empty string.
    static QString newestCatalogueIn(const QString& folder);

    // Reads and parses the catalogue file. On success builds the id map, sets
    // the loaded flag and returns true; returns true at once when already
    // loaded. A failure logs the reason, keeps what was parsed in the tree,
    // leaves the id map empty and returns false.
    bool load();
    // Parses catalogue text as load() does, for callers that hold the bytes.
    bool loadFromData(const QByteArray& text);

    // Cameras the user added (from a .cube table) live in a catalogue file of
    // their own in the per-user profiles folder, in the same format, under
    // the manufacturer kAddedManufacturer. load() reads it after the shipped
    // catalogue; a profile whose id the shipped catalogue already has is left
    // out. Each added camera's table is kept as addedCubePath(id).
    static const char kAddedManufacturer[];
    static QString addedCataloguePath();
    static QString addedCubePath(const QByteArray& id);
    // Whether the profile is one the user added.
    static bool isAddedProfile(const ProfileInfo* profile);
    // Adds the profiles of catalogue text to the loaded catalogue (the tree
    // and the id map); ids it knows already are left out with a warning.
    // False when the text does not parse or the catalogue is not loaded.
    bool addProfiles(const QByteArray& text);
    bool isLoaded() const;

    // The tree in file order. Read it after load() succeeded.
    const QVector<Manufacturer>& manufacturers() const;

    // The profile with this id; none for an id that is negative as a signed
    // 32-bit number, an unknown id or a catalogue that is not loaded. When two
    // profiles share an id the later one in the file wins.
    const ProfileInfo* getProfile(unsigned int id) const;

    // Text of the last load failure.
    QString lastError() const;

private:
    bool parse(const QByteArray& text);
    bool parseManufacturer(const QByteArray& element);
    bool parseModels(const QByteArray& element, Manufacturer* manufacturer, const QByteArray& manufacturerName);
    bool parseProfiles(const QByteArray& element, Model* model, const QByteArray& manufacturerName,
        const QByteArray& modelName, const QByteArray& modelId);
    bool fail(const QString& message);
    // Warns that one entry of the catalogue is left out.
    static void skip(const QString& what);

    mutable QMutex m_mutex;
    QString m_xmlPath;
    bool m_loaded = false;
    QString m_lastError;
    QVector<Manufacturer> m_manufacturers;
    // Every record ever parsed; kept until exit so that handed-out pointers
    // stay valid.
    std::vector<std::unique_ptr<ProfileInfo>> m_records;
    std::map<unsigned int, const ProfileInfo*> m_byId;
};

} // namespace Emulsa
