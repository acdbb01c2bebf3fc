#include "textplacement_p.h"

#include <algorithm>

namespace UniFontMapNS {

TextSize measureGlyphs(GlyphBytes const& bytes, cUniFontMap const& font, qint64 advanceExtra)
{
    TextSize size = {0, 0};
    for (uchar c : bytes) {
        QRect const& box = font.LetterRect(c);
        size.width += spanOf(box.left(), box.right()) + advanceExtra;
        size.height = std::max(size.height, spanOf(box.top(), box.bottom()));
    }
    return size;
}

TextPen alignText(QRect const& rect, int flags, TextSize size)
{
    TextPen pen = {rect.left(), rect.top()};
    if (flags & Qt::AlignBottom)
        pen.y = rect.bottom() - size.height;
    else if (flags & Qt::AlignVCenter)
        pen.y = rect.top() + spanOf(rect.top(), rect.bottom()) / 2 - size.height / 2;
    if (flags & Qt::AlignRight)
        pen.x = rect.right() - size.width;
    else if (flags & Qt::AlignHCenter)
        pen.x = rect.left() + spanOf(rect.left(), rect.right()) / 2 - size.width / 2;
    return pen;
}

QRect cellSource(QRect const& box, int growRight, int growDown)
{
    QRect source;
    source.setCoords(box.left(), box.top(), box.right() + growRight, box.bottom() + growDown);
    return source;
}

bool cellTarget(QRect const& source, qint64 x, qint64 y, QRect& target)
{
    const qint64 right = x + (qint64(source.right()) - source.left());
    const qint64 bottom = y + (qint64(source.bottom()) - source.top());
    if (!fitsInt(x) || !fitsInt(y) || !fitsInt(right) || !fitsInt(bottom))
        return false;
    target.setCoords(int(x), int(y), int(right), int(bottom));
    return true;
}

} // namespace UniFontMapNS
