#ifndef DORURIZAR_UNIPAINTERMARKUP_H
#define DORURIZAR_UNIPAINTERMARKUP_H

#include "dorurizar_export.h"

#include <QRect>
#include <QSize>

// Hands out horizontal bands of a rectangle for client layout: sides 0 to 2
// stack down from the top edge, sides 3 to 5 up from the bottom edge, each
// with an 8-pixel margin left and right. The six stacks are independent.
class DORURIZAR_EXPORT cUniPainterMarkup
{
public:
    // Bands of r, nothing handed out yet.
    explicit cUniPainterMarkup(QRect const& r);

    // The rectangle the bands are cut from.
    QRect geometry() const;
    // Moves the bands to r; keeps what every stack handed out.
    void setGeometry(QRect const& r);
    // The geometry's size.
    QSize size() const;

    // The next band of height rows of stack side, between the margins; a side
    // outside 0 to 5 gets rows 0 to height - 1 and hands nothing out.
    QRect allocateFrom(int side, int height);

    QRect mGeometry;
    int mAllocated[6];
};

#endif
