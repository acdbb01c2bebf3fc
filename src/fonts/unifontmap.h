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
    cFontInfo(QString const& family, int size, int weight, int border, QColor color, QColor borderColor,
              bool flag);
    // Rebuilds a description from a canonical name, or from a file name or
    // path holding one; an unparsable name gives an empty mName.
    explicit cFontInfo(char const* name);
    ~cFontInfo();

    // The cache directory, asked of the host's settings (or taken from the
    // first non-empty path) once and created when missing.
    static QString const& makeCacheBasePath(QString path);

    QString rectPath() const;
    QString pngPath() const;
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
        node();
        ~node();

        void ref();
        void unref();

        static QString const& makeCacheBasePath();
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
        fontgen();
        ~fontgen();

        int run(QString const& name, QString const& dir, QString const& alternative);
        int getProgress();

        int mProgress;
        QProcess mProcess;
        QDataStream mStream;
    };

    cUniFontMap();
    explicit cUniFontMap(cFontInfo const& info);
    virtual ~cUniFontMap();

    QRect const& LetterRect(unsigned char code) const;
    QImage const& image() const;
    int border() const;
    QRect MeasureString(QString const& text) const;

    void Destroy();
    bool Create(cFontInfo const& info);
    bool cacheLookup(cFontInfo const& info);

    node* mNode;

    static char const* mDefaultFontSet[12];
    static QImage mDefaultImg;
};

#endif
