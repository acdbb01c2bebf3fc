#include "tavosettings.h"

#include <QDir>
#include <QStandardPaths>

QString TavoSettings::fontMapCachePath()
{
    const QString fromEnvironment = qEnvironmentVariable("DORURIZAR_FONTMAP_CACHE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;

    // GenericCacheLocation follows $XDG_CACHE_HOME, falling back to ~/.cache.
    const QString cacheHome = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cacheHome.isEmpty())
        return QString();
    return cacheHome + QStringLiteral("/dorurizar/fontmaps");
}
