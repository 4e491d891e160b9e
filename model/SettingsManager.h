#pragma once

#include <QHash>
#include <QUuid>

#include <memory>

class QSettings;

namespace Emulsa {

class CameraListHelper;
class ClipSettings;
class FilmLibrary;

// Holds the grade of every clip of the current sequence, keyed by item id, and
// the default camera profile given to new clips. Also the one place that
// opens the per-user settings store.
//
// Ownership: the manager owns every ClipSettings registered in it and deletes
// them when it is destroyed. The item of that id points to the same object,
// so the manager never deletes a registered object while it is registered:
// registering a second object under a taken id is refused, and an entry
// leaves only through removeSettingsForID(), which hands the object to the
// caller (the model keeps it with the removed item).
class SettingsManager
{
public:
    // "OT01" packed little-endian.
    static constexpr quint32 originalDefaultProfile = 0x3130544F;

    // The per-user INI settings store, organization "QLM", application "Emulsa".
    static std::unique_ptr<QSettings> openStore();

    // Reads and validates the stored default profile against the camera
    // catalogue and the film library (the process-wide ones when null).
    explicit SettingsManager(CameraListHelper* catalogue = nullptr, const FilmLibrary* library = nullptr);
    ~SettingsManager();
    SettingsManager(const SettingsManager&) = delete;
    SettingsManager& operator=(const SettingsManager&) = delete;

    // Stores the profile and writes it to the settings store.
    void setDefaultProfile(quint32 profile);
    quint32 defaultProfile() const { return m_defaultProfile; }

    // The settings registered under the id; new default settings carrying the
    // default profile are made and registered when there are none.
    ClipSettings* settingsForID(const QUuid& id);
    // Registers the given settings; ownership passes here. Refused (false, the
    // caller keeps the object) for null and when a different object is
    // already registered under the id; registering the same object again is
    // accepted.
    bool addSettingsForID(const QUuid& id, ClipSettings* settings);
    // Default grade for the id's settings, keeping their camera profile.
    void resetSettingsForID(const QUuid& id);
    // Takes the id's settings out; the caller deletes them. Null when none.
    ClipSettings* removeSettingsForID(const QUuid& id);

    bool hasSettingsForID(const QUuid& id) const { return m_settings.contains(id); }
    // True when exactly this object is registered under the id.
    bool isRegistered(const QUuid& id, const ClipSettings* settings) const
    {
        return settings && m_settings.value(id, nullptr) == settings;
    }
    int count() const { return m_settings.size(); }

private:
    QHash<QUuid, ClipSettings*> m_settings;
    quint32 m_defaultProfile = originalDefaultProfile;
};

} // namespace Emulsa
