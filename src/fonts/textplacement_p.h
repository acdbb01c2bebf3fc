#ifndef DORURIZAR_TEXTPLACEMENT_P_H
#define DORURIZAR_TEXTPLACEMENT_P_H

// Not installed: how every engine lays a line of text out in its rectangle.
// The engines differ only in how far the pen moves past a glyph box and in
// how much of the atlas they copy for it; the rest is here, in 64 bits,
// because glyph boxes come from cache files and rectangles from the host.

#include "glyphbytes_p.h"
#include "unifontmap.h"

#include <QRect>

#include <limits>

namespace UniFontMapNS {

// The number of pixels from first to last inclusive; QRect::width() and
// height() overflow for rectangles spanning more than half the int range.
inline qint64 spanOf(int first, int last)
{
    return qint64(last) - first + 1;
}

// Whether v survives a conversion to int.
inline bool fitsInt(qint64 v)
{
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

struct TextSize {
    qint64 width;   // the sum of every glyph box's width plus advanceExtra
    qint64 height;  // the tallest glyph box, 0 for no glyphs
};

// Measures the glyphs of bytes in font, each advancing advanceExtra pixels
// beyond its box.
TextSize measureGlyphs(GlyphBytes const& bytes, cUniFontMap const& font, qint64 advanceExtra);

struct TextPen {
    qint64 x;
    qint64 y;
};

// Where a line measuring size starts in rect. Qt::AlignRight (before
// Qt::AlignHCenter) and Qt::AlignBottom (before Qt::AlignVCenter) are the
// only flags read; left and top are what is left. Right and bottom alignment
// end the line one pixel inside rect's last column and row, and centring
// halves rect and line separately, with truncating divisions.
TextPen alignText(QRect const& rect, int flags, TextSize size);

// Calls cell(box, x, y) for the glyph box of every byte of text in order,
// the line aligned in rect by flags, (x, y) being where the box's top-left
// corner goes; the pen moves on by the box width plus advanceExtra.
template <typename Cell>
void placeGlyphs(QRect const& rect, int flags, QString const& text, cUniFontMap const& font, qint64 advanceExtra,
                 Cell cell)
{
    GlyphBytes bytes;
    toGlyphBytes(text, bytes);
    TextPen pen = alignText(rect, flags, measureGlyphs(bytes, font, advanceExtra));
    for (uchar c : bytes) {
        QRect const& box = font.LetterRect(c);
        cell(box, pen.x, pen.y);
        pen.x += spanOf(box.left(), box.right()) + advanceExtra;
    }
}

// The atlas rectangle of a glyph cell: box grown right and down.
QRect cellSource(QRect const& box, int growRight, int growDown);

// Sets target to source moved to (x, y); false, target untouched, when any
// of its edges would leave the int range.
bool cellTarget(QRect const& source, qint64 x, qint64 y, QRect& target);

} // namespace UniFontMapNS

#endif
