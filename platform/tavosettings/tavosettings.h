#ifndef TAVOSETTINGS_H
#define TAVOSETTINGS_H

#include <QString>

#if defined(tavosettings_EXPORTS)
#define TAVOSETTINGS_EXPORT __attribute__((visibility("default")))
#else
#define TAVOSETTINGS_EXPORT
#endif

// The host's settings, as far as the drawing library needs them.
class TAVOSETTINGS_EXPORT TavoSettings
{
public:
    // Directory of the font atlas cache: $DORURIZAR_FONTMAP_CACHE when set and
    // not empty, else "dorurizar/fontmaps" in the user's XDG cache directory.
    static QString fontMapCachePath();
};

#endif
