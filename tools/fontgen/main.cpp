// fontgen NAME DIR [ALTERNATIVE]
//
// Renders the 256 Windows-1251 glyphs of the font that NAME describes into
// DIR/NAME.png and DIR/NAME.rects, reporting progress on stdout as big-endian
// 32-bit percentages. Both files appear complete or not at all.

#include <dorurizar/unifontmap.h>

#include <atlasfile.h>
#include <cp1251table_p.h>  // the library's own table, shared

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QVector>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Sanity bounds for a description given on the command line. Within them an
// atlas takes at most some 12 s and half a GB (size 400, border 32: about
// 10000 x 9500 pixels, most of the time spent writing 400 MB of PNG).
const int kMaxSize = 400;
const int kMaxBorder = 32;
// A name is a file name, with room for the temporary suffixes; no argument
// needs more than a path. Longer ones are refused before anything parses them.
const size_t kMaxNameBytes = 200;
const size_t kMaxArgumentBytes = 4096;
// What the library loads: it refuses larger atlases unread.
const int kMaxAtlasSide = 16384;
const qint64 kMaxAtlasPixels = qint64(1) << 27;

void report(int percent)
{
    const unsigned char bytes[4] = {uchar(quint32(percent) >> 24), uchar(quint32(percent) >> 16),
                                    uchar(quint32(percent) >> 8), uchar(percent)};
    // One write keeps the value whole on the pipe; a reader that went away is not our failure.
    while (::write(STDOUT_FILENO, bytes, sizeof bytes) < 0 && errno == EINTR) {
    }
}

int fail(QString const& message)
{
    std::fprintf(stderr, "fontgen: %s\n", qPrintable(message));
    return 1;
}

// Where Qt 6 differs: the font list is static, and weights run from 1 to
// 1000 as in OpenType, while names keep Qt 5's 0 to 99, mapped here between
// the named weights (Thin 0 -> 100, Normal 50 -> 400, Black 87 -> 900).
#if QT_VERSION_MAJOR >= 6
QStringList installedFamilies()
{
    return QFontDatabase::families();
}

QFont::Weight fontWeight(int weight)
{
    static const int from[] = {0, 12, 25, 50, 57, 63, 75, 81, 87, 99};
    static const int to[] = {100, 200, 300, 400, 500, 600, 700, 800, 900, 1000};
    int i = 1;
    while (i < 9 && weight > from[i])
        ++i;
    return QFont::Weight(to[i - 1] + (weight - from[i - 1]) * (to[i] - to[i - 1]) / (from[i] - from[i - 1]));
}
#else
QStringList installedFamilies()
{
    return QFontDatabase().families();
}

int fontWeight(int weight)
{
    return weight;
}
#endif

QString resolveFamily(QString const& family, QString const& alternative)
{
    const QStringList installed = installedFamilies();
    if (!family.isEmpty() && installed.contains(family, Qt::CaseInsensitive))
        return family;
    if (!alternative.isEmpty() && installed.contains(alternative, Qt::CaseInsensitive))
        return alternative;
    QFont sans;
    sans.setStyleHint(QFont::SansSerif);
    sans.setFamily(QStringLiteral("sans-serif"));
    return QFontInfo(sans).family();
}

struct Glyph {
    QChar ch;
    bool empty = true;
    int advance = 0;
    QPoint inkOrigin;  // pen position relative to the box's top-left corner
    QSize reserved;    // box plus ink, before the clear gap
    QRect box;
};

class TempFiles
{
public:
    ~TempFiles()
    {
        for (QString const& path : mPaths)
            QFile::remove(path);
    }
    QString add(QString const& path)
    {
        mPaths << path;
        return path;
    }
    void keep(QString const& path) { mPaths.removeAll(path); }

private:
    QStringList mPaths;
};

bool publish(QString const& from, QString const& to)
{
    // rename(2) replaces an older file atomically; QFile::rename would refuse.
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Over a file size limit a write then fails and is reported, instead of the signal ending us mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int i = 1; i < argc; ++i) {
        const size_t limit = i == 1 ? kMaxNameBytes : kMaxArgumentBytes;
        if (std::strlen(argv[i]) > limit)
            return fail(QStringLiteral("argument %1 is over %2 bytes long").arg(i).arg(limit));
    }
    // Atlases are made without a display, also when the host runs under X.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4)
        return fail(QStringLiteral("usage: fontgen NAME DIR [ALTERNATIVE]"));
    const QString name = args.at(1);
    const QString dirPath = args.at(2);
    const QString alternative = args.size() > 3 ? args.at(3) : QString();

    const cFontInfo info(name.toLocal8Bit().constData());
    // Only a canonical name is a file name the library will find (and it cannot climb out of DIR).
    if (info.mName.isEmpty() || info.mName != name)
        return fail(QStringLiteral("\"%1\" is not a canonical font name").arg(name));
    if (info.mFontSize <= 0 || info.mFontSize > kMaxSize || info.mBorder > kMaxBorder)
        return fail(QStringLiteral("\"%1\": size or border out of range").arg(name));
    if (dirPath.isEmpty() || !QDir().mkpath(dirPath))
        return fail(QStringLiteral("can't create directory \"%1\"").arg(dirPath));
    report(0);

    QFont font(resolveFamily(info.mFamily, alternative));
    font.setPixelSize(qMax(1, qRound(info.mFontSize * 96.0 / 72.0)));
    font.setWeight(info.mWeight < 0 ? QFont::Normal : fontWeight(qMin(info.mWeight, 99)));
    font.setStyleStrategy(QFont::PreferAntialias);
    const QFontMetrics metrics(font);
    const int B = info.mBorder;
    const int gap = 4 * B + 1;
    const int lineHeight = metrics.height();

    // Pass 1: measure. Ink that pokes above the ascent moves every glyph down
    // alike, so all glyphs keep one baseline below the box tops.
    QVector<Glyph> glyphs(256);
    QVector<QRect> inks(256);
    int lift = 0;
    for (int b = 0; b < 256; ++b) {
        const QChar c = b < 0x80 ? QChar(b) : QChar(UniFontMapNS::kCp1251UpperHalf[b - 0x80]);
        const QString text(c);
        Glyph& g = glyphs[b];
        if (text.size() != 1 || text[0] == QChar::ReplacementCharacter || text[0].category() == QChar::Other_Control)
            continue;
        g.ch = text[0];
        g.empty = false;
        g.advance = metrics.horizontalAdvance(g.ch);
        inks[b] = metrics.boundingRect(g.ch).adjusted(-1, -1, 1, 1);  // bounding boxes may be a pixel short
        lift = qMax(lift, -(metrics.ascent() + inks[b].top()));
    }
    for (int b = 0; b < 256; ++b) {
        Glyph& g = glyphs[b];
        if (g.empty)
            continue;
        QRect const& ink = inks[b];
        g.inkOrigin = QPoint(B + qMax(0, -ink.left()), B + lift + metrics.ascent());
        const int inkRight = g.inkOrigin.x() + ink.right() + B + 1;
        const int inkBottom = g.inkOrigin.y() + ink.bottom() + B + 1;
        g.reserved = QSize(qMax(g.advance, inkRight), qMax(lineHeight, inkBottom));
    }

    // Pass 2: shelf layout. Columns 0 to 4B stay clear on every row: the
    // empty boxes sit at (0, 0) and engines still copy 3B pixels from there.
    qint64 area = 0;
    for (Glyph const& g : glyphs)
        area += qint64(g.reserved.width() + gap) * (g.reserved.height() + gap);
    const int rowLimit = qMax(256, int(std::sqrt(double(area)) * 1.1));
    int x = gap, y = 0, rowHeight = 0, width = gap + 1, height = 1;
    for (Glyph& g : glyphs) {
        if (g.empty) {
            g.box = QRect(0, 0, 0, 0);
            continue;
        }
        const int cellW = g.reserved.width() + gap;
        if (x > gap && x + cellW > rowLimit) {
            x = gap;
            y += rowHeight;
            rowHeight = 0;
        }
        g.box = QRect(x, y, g.advance, lineHeight);
        x += cellW;
        rowHeight = qMax(rowHeight, g.reserved.height() + gap);
        width = qMax(width, x);
        height = qMax(height, y + rowHeight);
    }
    if (width > kMaxAtlasSide || height > kMaxAtlasSide || qint64(width) * height > kMaxAtlasPixels)
        return fail(QStringLiteral("\"%1\": a %2 x %3 atlas is more than the library loads (%4 a side, %5 pixels)")
                        .arg(name).arg(width).arg(height).arg(kMaxAtlasSide).arg(kMaxAtlasPixels));
    report(20);

    // Pass 3: draw. The border is the glyph shapes grown by B pixels, tinted
    // in the border colour; the glyphs go on top in their own colour.
    QImage atlas(width, height, QImage::Format_ARGB32_Premultiplied);
    if (atlas.isNull())
        return fail(QStringLiteral("no memory for a %1 x %2 atlas").arg(width).arg(height));
    atlas.fill(Qt::transparent);
    auto drawGlyphs = [&](QImage& target, QColor const& color) {
        QPainter p(&target);
        p.setFont(font);
        p.setPen(color);
        for (Glyph const& g : glyphs)
            if (!g.empty)
                p.drawText(g.box.topLeft() + g.inkOrigin, QString(g.ch));
    };
    if (B > 0) {
        drawGlyphs(atlas, Qt::white);
        if (!atlasfile::growShapes(atlas, B))
            return fail(QStringLiteral("no memory to grow the border of a %1 x %2 atlas").arg(width).arg(height));
        QPainter p(&atlas);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(atlas.rect(), info.mBorderColor);
    }
    report(50);
    drawGlyphs(atlas, info.mColor);
    report(70);

    const QString base = dirPath + QLatin1Char('/') + name;
    const QString suffix = QStringLiteral(".%1.tmp").arg(QCoreApplication::applicationPid());
    TempFiles temps;
    // The temporary names do not end in ".png", so a scanning reader passes over them.
    const QString pngTemp = temps.add(base + QStringLiteral(".png") + suffix);
    const QString rectsTemp = temps.add(base + QStringLiteral(".rects") + suffix);

    // Every write is checked and both files are complete on the disk before
    // either takes its final name: a full disk fails the run and shows nothing.
    QVector<QRect> boxes(256);
    for (int b = 0; b < 256; ++b)
        boxes[b] = glyphs[b].box;
    QString why;
    if (!atlasfile::writeRects(rectsTemp, boxes, &why))
        return fail(QStringLiteral("can't write %1: %2").arg(rectsTemp, why));
    report(85);

    atlas.convertTo(QImage::Format_ARGB32);
    const auto writePng = [&atlas](QIODevice& file) { return atlasfile::writePng(file, atlas); };
    if (!atlasfile::writeChecked(pngTemp, writePng, &why))
        return fail(QStringLiteral("can't write %1: %2").arg(pngTemp, why));
    report(95);

    // The ".rects" goes first: a reader looks for it only after finding the ".png".
    const QString rectsPath = base + QStringLiteral(".rects");
    if (!publish(rectsTemp, rectsPath))
        return fail(QStringLiteral("can't write %1").arg(rectsPath));
    temps.keep(rectsTemp);
    if (!publish(pngTemp, base + QStringLiteral(".png"))) {
        QFile::remove(rectsPath);
        return fail(QStringLiteral("can't write %1.png").arg(base));
    }
    temps.keep(pngTemp);
    report(100);
    return 0;
}
