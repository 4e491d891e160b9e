#pragma once

#include <QString>

namespace Emulsa::ProfileDownloadMessages {

// What the user is told when getting a camera profile fails; the details go
// to the log.

inline QString userMessage(const char* what)
{
    return QString::fromLatin1(what) + QStringLiteral("</ br>Please download desired profile from Emulsa website.");
}

inline QString downloadMessage()
{
    return userMessage("Can't download selected profile.");
}
// The same with the reason, for failures the user can do something about.
inline QString downloadMessage(const QString& why)
{
    return QStringLiteral("Can't download selected profile: ") + why
        + QStringLiteral(".</ br>Please download desired profile from Emulsa website.");
}
inline QString openMessage()
{
    return userMessage("Can't open downloaded profile.");
}
inline QString folderMessage()
{
    return userMessage("Can't find profile folder.");
}
inline QString installMessage()
{
    return userMessage("Can't install downloaded profile.");
}

} // namespace Emulsa::ProfileDownloadMessages
