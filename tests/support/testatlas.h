#ifndef DORURIZAR_TESTATLAS_H
#define DORURIZAR_TESTATLAS_H

// Writes font atlas cache files the way the generator does, so tests can set
// up a cache with exactly the glyph boxes and pixels they need.

#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

namespace dtest {

// Writes DIR/NAME.png (the image, PNG) and DIR/NAME.rects (INI, array
// "rects" of 256 entries with x, y, w, h). boxes must hold 256 rectangles;
// a box of size 0 writes w = h = 0 at its position. Returns false when a file can't be written.
bool writeAtlas(QString const& dir, QString const& name, QImage const& image, QVector<QRect> const& boxes);

// A synthetic atlas: glyph b gets a box of width widthOf(b) and height h,
// laid out on a grid with enough transparent space right of and below every
// box for a border of `border` pixels. Each glyph's box is filled with
// `color`; its border ring (border pixels right of and below the box) with
// `borderColor`. Bytes with width 0 get an empty box on transparent pixels.
struct SyntheticAtlas {
    QImage image;
    QVector<QRect> boxes;
};
SyntheticAtlas makeSyntheticAtlas(int (*widthOf)(int byte), int height, int border, QRgb color, QRgb borderColor);

} // namespace dtest

#endif
