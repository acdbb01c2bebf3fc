// An atlas pair as the cache scan finds it: the .rects text, then from the
// PNG signature on the picture; the first byte picks the border the name
// gives. A pair that loads holds a 32-bit picture and boxes within the
// largest atlas, measures, and draws text on an image of the Qt engine.

#include <dorurizar/qtengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>

#include <cp1251table_p.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir cache;
    static int pair = 0;  // a name of its own per pair: QSettings keeps what it read of a path
    static cQTEngine engine;
    static QString everyGlyph;  // bytes 1 to 255, as the engines convert text
    for (int c = everyGlyph.isEmpty() ? 1 : 256; c < 256; ++c)
        everyGlyph += c < 0x80 ? QChar(c) : QChar(UniFontMapNS::kCp1251UpperHalf[c - 0x80]);
    if (cFontInfo::makeCacheBasePath(cache.path()) != cache.path())
        qFatal("fuzz_atlas: the cache is elsewhere");
    if (size < 1 || size > 65536)
        return 0;
    const int borders[4] = {0, 1, 2, 536870911};
    const cFontInfo info(qPrintable(QStringLiteral("F%1_10_-1_%2_0_0").arg(++pair).arg(borders[data[0] % 4])));
    const QByteArray input(reinterpret_cast<char const*>(data + 1), int(size - 1));
    const int png = input.indexOf("\x89PNG");
    QFile rects(info.rectPath()), picture(info.pngPath());
    if (!rects.open(QIODevice::WriteOnly) || !picture.open(QIODevice::WriteOnly) || rects.write(input.left(png)) < 0
        || (png >= 0 && picture.write(input.mid(png)) < 0))
        qFatal("fuzz_atlas: cannot write the pair");
    rects.close(), picture.close();

    cUniFontMap font;
    if (font.cacheLookup(info)) {
        QImage const& atlas = font.image();
        for (int c = 0; c < 256; ++c) {
            QRect const& box = font.LetterRect(uchar(c));
            if (box != QRect() && (box.left() < 0 || box.top() < 0 || box.right() >= 16384 || box.bottom() >= 16384))
                qFatal("fuzz_atlas: a box outside the largest atlas");
        }
        if (atlas.format() != QImage::Format_ARGB32 || atlas.width() > 16384 || atlas.height() > 16384)
            qFatal("fuzz_atlas: an atlas larger than any, or not 32-bit");
        font.MeasureString(everyGlyph);
        cUniImg canvas(&engine);
        canvas.resize(24, 16);
        canvas.beginUpdate();
        for (int flags : {0, int(Qt::AlignRight | Qt::AlignBottom), int(Qt::AlignCenter)})
            canvas.drawText(QRect(2, 2, 20, 12), flags, everyGlyph, font);
        canvas.endUpdate();
        font.Destroy();
    }
    // The registry emptied: the next input is scanned afresh.
    while (!cUniFontMap::node::mNodes.isEmpty())
        cUniFontMap::node::mNodes.first()->unref();
    rects.remove(), picture.remove();
    return 0;
}
