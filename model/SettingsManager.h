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
// the default camera profile given to new clips. Owns the registered
// ClipSettings. Also the one place that opens the per-user settings store.
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
    // Registers the given settings (ownership passes here), replacing and
    // deleting a different object registered under the same id. Null is ignored.
    void addSettingsForID(const QUuid& id, ClipSettings* settings);
    // Default grade for the id's settings, keeping their camera profile.
    void resetSettingsForID(const QUuid& id);
    // Takes the id's settings out; the caller deletes them. Null when none.
    ClipSettings* removeSettingsForID(const QUuid& id);

    bool hasSettingsForID(const QUuid& id) const { return m_settings.contains(id); }
    int count() const { return m_settings.size(); }

private:
    QHash<QUuid, ClipSettings*> m_settings;
    quint32 m_defaultProfile = originalDefaultProfile;
};

} // namespace Emulsa
