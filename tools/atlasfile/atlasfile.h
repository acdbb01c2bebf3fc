#ifndef DORURIZAR_ATLASFILE_H
#define DORURIZAR_ATLASFILE_H

// Font atlas cache files as the library reads them: NAME.png, the glyph
// pixels, and NAME.rects, an INI file whose array "rects" holds 256 entries
// of x, y, w, h. The generator writes them through here, and tests and
// benchmarks build their caches with the same code.

#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

namespace atlasfile {

// Writes the 256 glyph boxes to path; false when boxes does not hold 256
// rectangles or the file could not be written completely.
bool writeRects(QString const& path, QVector<QRect> const& boxes);

// Writes DIR/NAME.png and DIR/NAME.rects, creating DIR; false when either
// file could not be written.
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

} // namespace atlasfile

#endif
