#ifndef DORURIZAR_UNIFONTMAP_H
#define DORURIZAR_UNIFONTMAP_H

#include "dorurizar_export.h"

#include <QColor>
#include <QDataStream>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>

// Description of one pre-rendered font atlas. Its canonical name, e.g.
// "Tahoma_10_-1_2_ff303040_ff000000" (family, size, weight, border, glyph
// colour, border colour), names the atlas files in the cache directory.
class DORURIZAR_EXPORT cFontInfo
{
public:
    // A description of the given fields, named canonically.
    cFontInfo(QString const& family, int size, int weight, int border, QColor color, QColor borderColor,
              bool flag);
    // Rebuilds a description from a canonical name, or from a file name or
    // path holding one; an unparsable name gives an empty mName.
    explicit cFontInfo(char const* name);
    ~cFontInfo();

    // The cache directory, asked of the host's settings (or taken from the
    // first non-empty path) once and created when missing.
    static QString const& makeCacheBasePath(QString path);

    // The cache files of this description: mCachePath/mName.rects and .png.
    QString rectPath() const;
    QString pngPath() const;
    // Settles the cache directory, then whether both cache files are there.
    bool exists();

    QString mFamily;
    int mFontSize;
    int mWeight;
    int mBorder;
    QColor mColor;
    QColor mBorderColor;
    bool mFlag;
    QString mName;

    static QString mCachePath;
};

namespace UniFontMapNS {
DORURIZAR_EXPORT extern QRect const defaultRect;
}

// A font handle: a reference on one shared, loaded atlas. The reference is
// given back only by Destroy(), never by the destructor.
class DORURIZAR_EXPORT cUniFontMap
{
public:
    // One loaded atlas, shared by every handle that chose it. The registry
    // keeps the first reference for good, so a loaded node lives until exit.
    class DORURIZAR_EXPORT node
    {
    public:
        // An empty node, in the registry, holding its first reference.
        node();
        // Leaves the registry.
        ~node();

        // Takes one more reference.
        void ref();
        // Gives a reference back; the last one deletes the node.
        void unref();

        // cFontInfo::makeCacheBasePath() with no path of its own.
        static QString const& makeCacheBasePath();
        // The cache directory and info's name joined WITHOUT a separator, so
        // it names a file in the directory only when the directory's path
        // ends in one; the paths below add ".rects" and ".png" to it.
        static QString makeCacheBasePath(cFontInfo const& info);
        static QString makeCacheRectsPath(cFontInfo const& info);
        static QString makeCacheImagePath(cFontInfo const& info);

        int mRefCount;
        QRect mRects[256];
        QImage mImage;
        cFontInfo mInfo;

        static QList<node*> mNodes;

    private:
        node(node const&) = delete;
        node& operator=(node const&) = delete;
    };

    // One run of the external atlas generator, read for its progress.
    class DORURIZAR_EXPORT fontgen
    {
    public:
        // A run not yet started, at 0 %.
        fontgen();
        // Kills a generator still running, with every process it started, and
        // waits up to 5 s for it.
        ~fontgen();

        // Starts ./fontgen name dir [alternative] from the working directory,
        // its stderr discarded; returns 0 whether or not it started.
        int run(QString const& name, QString const& dir, QString const& alternative);
        // Reads every whole 32-bit value the generator has written and
        // returns the last one, held to 0..100 (0 before any).
        int getProgress();

        int mProgress;
        QProcess mProcess;
        QDataStream mStream;
    };

    // A handle without an atlas.
    cUniFontMap();
    // Create(info).
    explicit cUniFontMap(cFontInfo const& info);
    // Keeps the reference: only Destroy() gives it back.
    virtual ~cUniFontMap();

    // The atlas box of glyph code; UniFontMapNS::defaultRect without an atlas.
    QRect const& LetterRect(unsigned char code) const;
    // The atlas image; the null mDefaultImg without an atlas.
    QImage const& image() const;
    // The atlas's border width; 0 without an atlas.
    int border() const;
    // The rectangle at the origin that text covers: its box widths plus one
    // border each and two more wide, its tallest box high; QRect() without
    // an atlas.
    QRect MeasureString(QString const& text) const;

    // Gives the atlas reference back; the handle is then empty.
    void Destroy();
    // Destroy(), then cacheLookup(info); when the cache holds no atlas at
    // all, generates the default fonts and looks up again, and stops the
    // process with qFatal when there is still none. Otherwise true.
    bool Create(cFontInfo const& info);
    // Takes a reference on the loaded atlas that best matches info (the
    // first loaded one when none does), loading the whole cache on the
    // process's first lookup; false, and no atlas, when none loaded. An
    // atlas the handle held before is not given back.
    bool cacheLookup(cFontInfo const& info);

    node* mNode;

    static char const* mDefaultFontSet[12];
    static QImage mDefaultImg;
};

#endif
