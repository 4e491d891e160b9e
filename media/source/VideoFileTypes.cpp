#include "media/source/VideoFileTypes.h"

namespace Emulsa::VideoFileTypes {

const QStringList& extensions()
{
    // ".MT2S" stays for names written that way by older tools.
    static const QStringList list = { QStringLiteral(".MP4"), QStringLiteral(".MTS"), QStringLiteral(".MOV"),
        QStringLiteral(".AVI"), QStringLiteral(".M4V"), QStringLiteral(".MPEG"), QStringLiteral(".MXF"),
        QStringLiteral(".R3D"), QStringLiteral(".3GP"), QStringLiteral(".MT2S"), QStringLiteral(".MPG"),
        QStringLiteral(".M2TS"), QStringLiteral(".TS"), QStringLiteral(".MKV") };
    return list;
}

bool isVideoFileName(const QString& fileName)
{
    for (const QString& extension : extensions())
        if (fileName.endsWith(extension, Qt::CaseInsensitive))
            return true;
    return false;
}

QStringList nameFilters()
{
    QStringList filters;
    for (const QString& extension : extensions()) {
        const QString upper = QLatin1Char('*') + extension;
        filters << upper << upper.toLower();
    }
    return filters;
}

} // namespace Emulsa::VideoFileTypes
