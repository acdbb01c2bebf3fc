#ifndef DORURIZAR_YUVSCALER_P_H
#define DORURIZAR_YUVSCALER_P_H

// Not installed: video frames scaled by nearest sample and converted into
// 32-bit pixel memory in one pass, shared by the software engines.

#include "uniyuvframe.h"

#include <QRect>
#include <QSize>

namespace YuvScaler {

// The order of a 32-bit pixel read as one native word.
enum class Order {
    Argb,  // 0xAARRGGBB: QImage::Format_ARGB32 and the SDL engine's surfaces
    Abgr,  // 0xAABBGGRR
};

// Rows of 32-bit pixels owned by the caller, covering area of the target's
// coordinates: bits is the pixel at area's top left.
struct Destination {
    uchar* bits;
    qsizetype bytesPerLine;
    QRect area;
    Order order;
};

// Draws sourceRect of frame scaled into target of dest, opaque (alpha 255),
// writing only the pixels of target that lie inside dest's area; the mapping from
// source to target stays that of the whole target. Returns false, having
// written nothing, unless frame.canDraw(sourceRect) and dest has pixels;
// true when it drew, or when target misses dest.
//
// Destination pixel t takes source sample floor((t + 1/2) * source / target)
// on each axis, and the chroma of that sample. Every drawn pixel is within
// one level per channel of the exact conversion. Scratch memory grows with
// the visible part's width, never with the target, and never holds the
// source in RGB; it is kept per thread, and the engines draw from one.
bool draw(cUniYuvFrame const& frame, QRect const& sourceRect, QRect const& target, Destination const& dest);

} // namespace YuvScaler

#endif
