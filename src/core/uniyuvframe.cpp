#include "uniyuvframe.h"

cUniYuvFrame::cUniYuvFrame()
    : cUniYuvFrame(Invalid, QSize())
{
}

cUniYuvFrame::cUniYuvFrame(Format format, QSize const& size, Matrix matrix, Range range)
    : mFormat(format)
    , mSize(size)
    , mMatrix(matrix)
    , mRange(range)
    , mPlanes{nullptr, nullptr, nullptr}
    , mStrides{0, 0, 0}
{
}

void cUniYuvFrame::setPlane(int i, uchar const* data, int stride)
{
    if (i < 0 || i >= planeCount())
        return;
    mPlanes[i] = data;
    mStrides[i] = stride;
}

int cUniYuvFrame::planeCount() const
{
    switch (mFormat) {
    case I420: return 3;
    case NV12: return 2;
    case YUYV: return 1;
    default: return 0;
    }
}

int cUniYuvFrame::rowBytes(int i) const
{
    if (i < 0 || i >= planeCount() || mSize.width() <= 0 || mSize.width() > kMaxSide)
        return 0;
    const int w = mSize.width(), chroma = (w + 1) / 2;
    if (mFormat == YUYV)
        return 4 * chroma;
    if (i == 0)
        return w;
    return mFormat == NV12 ? 2 * chroma : chroma;
}

int cUniYuvFrame::rowCount(int i) const
{
    if (i < 0 || i >= planeCount() || mSize.height() <= 0 || mSize.height() > kMaxSide)
        return 0;
    return i == 0 ? mSize.height() : (mSize.height() + 1) / 2;
}

bool cUniYuvFrame::isValid() const
{
    if (planeCount() == 0 || mSize.width() <= 0 || mSize.height() <= 0 || mSize.width() > kMaxSide
        || mSize.height() > kMaxSide)
        return false;
    for (int i = 0; i < planeCount(); ++i)
        if (!mPlanes[i] || mStrides[i] < rowBytes(i))
            return false;
    return true;
}

bool cUniYuvFrame::canDraw(QRect const& sourceRect) const
{
    // Plain comparisons: QRect::contains() works out the rect's width, which
    // overflows for one reaching across the int range, and then takes it in.
    return isValid() && sourceRect.left() >= 0 && sourceRect.top() >= 0 && sourceRect.left() <= sourceRect.right()
        && sourceRect.top() <= sourceRect.bottom() && sourceRect.right() < mSize.width()
        && sourceRect.bottom() < mSize.height();
}

QRect cUniYuvFrame::rect() const
{
    return QRect(QPoint(0, 0), mSize);
}
