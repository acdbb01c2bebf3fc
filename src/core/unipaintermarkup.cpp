#include "unipaintermarkup.h"

namespace {
const int kMargin = 8;
const int kSides = 6;
}

cUniPainterMarkup::cUniPainterMarkup(QRect const& r)
    : mGeometry(r)
    , mAllocated{0, 0, 0, 0, 0, 0}
{
}

QRect cUniPainterMarkup::geometry() const
{
    return mGeometry;
}

void cUniPainterMarkup::setGeometry(QRect const& r)
{
    mGeometry = r;
}

QSize cUniPainterMarkup::size() const
{
    return QSize(mGeometry.right() - mGeometry.left() + 1, mGeometry.bottom() - mGeometry.top() + 1);
}

QRect cUniPainterMarkup::allocateFrom(int side, int height)
{
    const int left = mGeometry.left() + kMargin;
    const int right = mGeometry.right() - kMargin;
    int top = 0;
    int bottom = height - 1;

    if (side >= 0 && side < kSides / 2) {
        top = mGeometry.top() + mAllocated[side];
        bottom = top + height - 1;
        mAllocated[side] += height;
    } else if (side >= kSides / 2 && side < kSides) {
        bottom = mGeometry.bottom() - mAllocated[side];
        top = bottom - (height - 1);
        mAllocated[side] += height;
    }

    QRect band;
    band.setCoords(left, top, right, bottom);
    return band;
}
