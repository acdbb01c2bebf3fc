#include "unifontmap.h"

#include "fontgeneration_p.h"
#include "tavosettings.h"
#include "textplacement_p.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <atomic>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

// Constructed in this order at load time; the registry's nodes are never destroyed.
QRect const UniFontMapNS::defaultRect;
QString cFontInfo::mCachePath;
QList<cUniFontMap::node*> cUniFontMap::node::mNodes;
QImage cUniFontMap::mDefaultImg;

namespace {

QString canonicalName(cFontInfo const& f)
{
    return f.mFamily + QLatin1Char('_') + QString::number(f.mFontSize) + QLatin1Char('_')
        + QString::number(f.mWeight) + QLatin1Char('_') + QString::number(f.mBorder) + QLatin1Char('_')
        + QString::number(f.mColor.rgba(), 16) + QLatin1Char('_') + QString::number(f.mBorderColor.rgba(), 16);
}

using UniFontMapNS::fitsInt;

// Far beyond any real atlas (fontgen's largest font, size 400, is about 7500 x
// 7000 pixels before its border): an image that claims more is refused from
// its header, before any pixel is allocated.
const int kMaxAtlasSide = 16384;
const qint64 kMaxAtlasPixels = qint64(1) << 27;
// 256 boxes take a few kilobytes; a larger file is not a box table and is
// refused before it is read.
const qint64 kMaxRectsBytes = 1 << 20;

// A box is kept only when it lies within the largest atlas and engines can
// still read 4 x border pixels past it, so that no later sum over boxes can
// overflow; anything else becomes the empty box.
QRect boxFromFile(qint64 x, qint64 y, qint64 w, qint64 h, qint64 border)
{
    const auto fits = [border](qint64 at, qint64 size) {
        return at >= 0 && size >= 0 && at <= kMaxAtlasSide && size <= kMaxAtlasSide - at
            && fitsInt(at + size + 4 * border + 1);
    };
    if (!fits(x, w) || !fits(y, h))
        return UniFontMapNS::defaultRect;
    return QRect(int(x), int(y), int(w), int(h));
}

bool loadRects(QString const& path, int border, QRect (&rects)[256])
{
    QSettings settings(path, QSettings::IniFormat);
    const int count = settings.beginReadArray(QStringLiteral("rects"));
    if (count != 256)
        return false;
    const QString kx = QStringLiteral("x"), ky = QStringLiteral("y");
    const QString kw = QStringLiteral("w"), kh = QStringLiteral("h");
    for (int i = 0; i < 256; ++i) {
        settings.setArrayIndex(i);
        // Read wide: an int conversion would wrap a huge value into a plausible one.
        rects[i] = boxFromFile(settings.value(kx).toLongLong(), settings.value(ky).toLongLong(),
                               settings.value(kw).toLongLong(), settings.value(kh).toLongLong(), border);
    }
    settings.endArray();
    return true;
}

// Reads one atlas pair into a node; false when either file is unusable.
bool loadNode(cUniFontMap::node* n)
{
    cFontInfo const& info = n->mInfo;
    QImageReader reader(info.pngPath(), "PNG");
    const QSize size = reader.size();
    bool loaded = !size.isEmpty() && size.width() <= kMaxAtlasSide
        && size.height() <= kMaxAtlasSide && qint64(size.width()) * size.height() <= kMaxAtlasPixels
        && reader.read(&n->mImage);
    // Every engine reads atlas pixels as 32-bit ARGB; a Format_Mono image
    // would even pass for an accelerated-picture token in the GL engine.
    if (loaded && n->mImage.format() != QImage::Format_ARGB32)
        n->mImage = n->mImage.convertToFormat(QImage::Format_ARGB32);
    loaded = loaded && !n->mImage.isNull() && n->mImage.format() == QImage::Format_ARGB32;
    const bool rectsRead = loadRects(info.rectPath(), info.mBorder, n->mRects);
    return loaded && rectsRead;
}

void scanCache()
{
    QDir dir(cUniFontMap::node::makeCacheBasePath());
    const QStringList files = dir.entryList(QStringList(QStringLiteral("*.png")),
                                            QDir::Files | QDir::Readable | QDir::Hidden | QDir::System
                                                | QDir::NoDotAndDotDot,
                                            QDir::NoSort);
    // Nodes join the registry in listing order; only the file reading is
    // spread over the cores, each worker filling nodes of its own.
    std::vector<cUniFontMap::node*> nodes;
    for (QString const& file : files) {
        cFontInfo info(file.toLocal8Bit().constData());
        // Regular files only: opening a FIFO or a device named like an atlas may block for ever.
        const QFileInfo rects(info.rectPath());
        if (info.mName.isEmpty() || !QFileInfo(info.pngPath()).isFile() || !rects.isFile()
            || rects.size() > kMaxRectsBytes)
            continue;
        // The engines add 4 x border to coordinates; a border that overflows that is not a font.
        if (!fitsInt(4 * qint64(info.mBorder) + 1))
            continue;
        cUniFontMap::node* n = new cUniFontMap::node;
        n->mInfo = info;
        nodes.push_back(n);
    }

    std::vector<char> loaded(nodes.size(), 0);
    std::atomic<size_t> next(0);
    auto work = [&] {
        for (size_t i = next++; i < nodes.size(); i = next++)
            loaded[i] = loadNode(nodes[i]);
    };
    const size_t workers = std::min<size_t>(nodes.size(), std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<std::thread> threads;
    try {
        for (size_t t = 1; t < workers; ++t)
            threads.emplace_back(work);
    } catch (std::system_error const&) {
        // Under a process or memory limit: the calling thread loads what is left.
    }
    work();
    for (std::thread& t : threads)
        t.join();

    for (size_t i = 0; i < nodes.size(); ++i)
        if (!loaded[i])
            nodes[i]->unref();
}

cUniFontMap::node* choose(QList<cUniFontMap::node*> const& nodes, cFontInfo const& info)
{
    cUniFontMap::node* best = nullptr;
    for (cUniFontMap::node* n : nodes) {
        cFontInfo const& c = n->mInfo;
        if (c.mFamily != info.mFamily || c.mFontSize > info.mFontSize)
            continue;
        if (!best) {
            best = n;
            continue;
        }
        cFontInfo const& b = best->mInfo;
        if (c.mFontSize > b.mFontSize) {
            best = n;
            continue;
        }
        if ((b.mWeight != info.mWeight && c.mWeight == info.mWeight)
            || (b.mBorder != info.mBorder && c.mBorder == info.mBorder)
            || (b.mColor != info.mColor && c.mColor == info.mColor)
            || (b.mBorderColor != info.mBorderColor && c.mBorderColor == info.mBorderColor))
            best = n;
    }
    return best;
}
} // namespace

// ---- cFontInfo ----

cFontInfo::cFontInfo(QString const& family, int size, int weight, int border, QColor color, QColor borderColor,
                     bool flag)
    : mFamily(family)
    , mFontSize(size)
    , mWeight(weight)
    , mBorder(border)
    , mColor(color)
    , mBorderColor(borderColor)
    , mFlag(flag)
{
    mName = canonicalName(*this);
}

cFontInfo::cFontInfo(char const* name)
    : mFontSize(-1)
    , mWeight(-1)
    , mBorder(0)
    , mFlag(false)
{
    // The colours stay default-constructed, i.e. invalid (QColor::invalidate() is private in Qt 5).
    if (!name)
        return;

    // A match starts only where a path part starts, and every field after the
    // family is taken whole (possessive), so that a long name that does not
    // match is refused in linear time. The first part holding a match wins, the
    // family reaches as far right as the fields allow, and anything after the
    // last colour (such as ".png") is passed over.
    static const QRegularExpression pattern(
        QStringLiteral("(?<![^/])([^/]+)_(\\d++)_(-?\\d++)_(\\d++)_([a-f\\d]++)_([a-f\\d]++)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(name));
    if (!match.hasMatch())
        return;

    mFamily = match.captured(1);
    mFontSize = match.captured(2).toInt(nullptr, 10);
    mWeight = match.captured(3).toInt(nullptr, 10);
    mBorder = match.captured(4).toInt(nullptr, 10);
    mColor = QColor::fromRgba(QRgb(quint32(match.captured(5).toLongLong(nullptr, 16))));
    mBorderColor = QColor::fromRgba(QRgb(quint32(match.captured(6).toLongLong(nullptr, 16))));
    mName = canonicalName(*this);
}

cFontInfo::~cFontInfo() = default;

QString const& cFontInfo::makeCacheBasePath(QString path)
{
    if (!mCachePath.isEmpty())
        return mCachePath;
    mCachePath = path.isEmpty() ? TavoSettings::fontMapCachePath() : path;
    QDir().mkpath(mCachePath);
    return mCachePath;
}

QString cFontInfo::rectPath() const
{
    return QStringLiteral("%1/%2.%3").arg(mCachePath, mName, QStringLiteral("rects"));
}

QString cFontInfo::pngPath() const
{
    return QStringLiteral("%1/%2.%3").arg(mCachePath, mName, QStringLiteral("png"));
}

bool cFontInfo::exists()
{
    makeCacheBasePath(QString());
    // One-pass arg(): a '%' in the directory or the family is not taken for a marker.
    return QFile::exists(pngPath()) && QFile::exists(rectPath());
}

// ---- cUniFontMap::node ----

cUniFontMap::node::node()
    : mRefCount(1)
    , mInfo(QString(), -1, -1, 0, QColor(Qt::white), QColor(Qt::black), false)
{
    mNodes.append(this);
}

cUniFontMap::node::~node()
{
    mNodes.removeOne(this);
}

void cUniFontMap::node::ref()
{
    ++mRefCount;
}

void cUniFontMap::node::unref()
{
    if (--mRefCount == 0)
        delete this;
}

QString const& cUniFontMap::node::makeCacheBasePath()
{
    return cFontInfo::makeCacheBasePath(QString());
}

QString cUniFontMap::node::makeCacheBasePath(cFontInfo const& info)
{
    return makeCacheBasePath() + info.mName;
}

QString cUniFontMap::node::makeCacheRectsPath(cFontInfo const& info)
{
    return makeCacheBasePath(info) + QStringLiteral(".rects");
}

QString cUniFontMap::node::makeCacheImagePath(cFontInfo const& info)
{
    return makeCacheBasePath(info) + QStringLiteral(".png");
}

// ---- cUniFontMap ----

cUniFontMap::cUniFontMap()
    : mNode(nullptr)
{
}

cUniFontMap::cUniFontMap(cFontInfo const& info)
    : mNode(nullptr)
{
    Create(info);
}

cUniFontMap::~cUniFontMap() = default;

QRect const& cUniFontMap::LetterRect(unsigned char code) const
{
    return mNode ? mNode->mRects[code] : UniFontMapNS::defaultRect;
}

QImage const& cUniFontMap::image() const
{
    return mNode ? mNode->mImage : mDefaultImg;
}

int cUniFontMap::border() const
{
    return mNode ? mNode->mInfo.mBorder : 0;
}

QRect cUniFontMap::MeasureString(QString const& text) const
{
    if (!mNode)
        return QRect();
    UniFontMapNS::GlyphBytes bytes;
    UniFontMapNS::toGlyphBytes(text, bytes);
    const qint64 b = border();
    const UniFontMapNS::TextSize size = UniFontMapNS::measureGlyphs(bytes, *this, b);
    QRect measure;
    measure.setCoords(0, 0, int(qBound(qint64(std::numeric_limits<int>::min()), qint64(size.width + 2 * b - 1),
                                           qint64(std::numeric_limits<int>::max()))), int(size.height) - 1);
    return measure;
}

void cUniFontMap::Destroy()
{
    if (!mNode)
        return;
    mNode->unref();
    mNode = nullptr;
}

bool cUniFontMap::cacheLookup(cFontInfo const& info)
{
    if (node::mNodes.isEmpty())
        scanCache();
    const QList<node*> snapshot = node::mNodes;
    node* chosen = choose(snapshot, info);
    if (!chosen && !snapshot.isEmpty())
        chosen = snapshot.first();
    mNode = chosen;
    if (!chosen)
        return false;
    chosen->ref();
    return true;
}

bool cUniFontMap::Create(cFontInfo const& info)
{
    Destroy();
    if (cacheLookup(info))
        return true;
    UniFontMapNS::generateDefaultFonts();
    if (!cacheLookup(info))
        qFatal("Can't create font map!");
    return true;
}
