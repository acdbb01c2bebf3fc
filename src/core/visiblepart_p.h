#ifndef DORURIZAR_VISIBLEPART_P_H
#define DORURIZAR_VISIBLEPART_P_H

// Not installed: rectangles cut to an image in 64 bits. QRect's own width()
// and intersected() overflow once a rectangle spans more than half the int
// range, which any QRect a host passes may do.

#include <QRect>
#include <QSize>

#include <algorithm>

// The part of the rectangle from (left, top) to (right, bottom), inclusive,
// on an image of size; an empty QRect when none of it is.
inline QRect visiblePart(qint64 left, qint64 top, qint64 right, qint64 bottom, QSize size)
{
    left = std::max<qint64>(left, 0);
    top = std::max<qint64>(top, 0);
    right = std::min<qint64>(right, size.width() - 1);
    bottom = std::min<qint64>(bottom, size.height() - 1);
    if (left > right || top > bottom)
        return QRect();
    return QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom)));
}

inline QRect visiblePart(QRect const& r, QSize size)
{
    return r.isValid() ? visiblePart(r.left(), r.top(), r.right(), r.bottom(), size) : QRect();
}

#endif
