#ifndef DORURIZAR_ATLASFILE_H
#define DORURIZAR_ATLASFILE_H

// Font atlas cache files as the library reads them: NAME.png, the glyph
// pixels, and NAME.rects, an INI file whose array "rects" holds 256 entries
// of x, y, w, h. The generator writes them through here, and tests and
// benchmarks build their caches with the same code. The generator's border
// growth lives here too, so that tests can hold it against plain blits.

#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

#include <functional>

class QIODevice;

namespace atlasfile {

// Creates or truncates the file at path, lets fill write it, then flushes
// and syncs it to the disk. False, with the file removed and the reason in
// *why, when fill returns false or any write, the flush, the sync or the
// close failed: a full disk never leaves a short file that looks whole.
bool writeChecked(QString const& path, std::function<bool(QIODevice&)> const& fill, QString* why = nullptr);

// Writes image as a PNG of 8-bit RGBA rows, unfiltered and stored without
// compression: the first font lookup of a process decodes every atlas of the
// cache, and inflating and unfiltering were most of that cost. False when
// image is null or a write failed.
bool writePng(QIODevice& device, QImage const& image);

// Writes the 256 glyph boxes to path, as writeChecked does; false when boxes
// does not hold 256 rectangles or the file could not be written completely.
bool writeRects(QString const& path, QVector<QRect> const& boxes, QString* why = nullptr);

// Writes DIR/NAME.png, in the image's own format as Qt saves it (tests store
// odd formats on purpose), and DIR/NAME.rects, creating DIR; false when
// either file could not be written.
bool writeAtlas(QString const& dir, QString const& name, QImage const& image, QVector<QRect> const& boxes);

// A synthetic atlas: glyph b gets a box of width widthOf(b) and the given
// height, filled with color, with a ring of `border` pixels in borderColor
// right of and below it, on a grid that leaves 4 x border + 1 clear pixels
// after every box (what the engines may read). Bytes of width 0 get an empty
// box on clear pixels.
struct Synthetic {
    QImage image;
    QVector<QRect> boxes;
};
Synthetic makeSynthetic(int (*widthOf)(int byte), int height, int border, QRgb color, QRgb borderColor);

// Grows the shapes of image, white glyphs on transparent pixels
// (Format_ARGB32_Premultiplied), by border pixels: each pixel becomes what
// drawing image source-over at every offset (dx, dy) with |dx|, |dy| <= border,
// dy outer and dx inner, both rising, onto transparent pixels leaves, to the
// last rounding. That costs (2 x border + 1)^2 blits; this takes time about
// linear in the image. False, with image unchanged, for a border outside
// 0 to 127, an image of another format or too little memory.
bool growShapes(QImage& image, int border);

} // namespace atlasfile

#endif
