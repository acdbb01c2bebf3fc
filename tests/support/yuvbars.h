#ifndef DORURIZAR_YUVBARS_H
#define DORURIZAR_YUVBARS_H

// Colour-bar video frames in every YUV layout, and their colours worked out
// in double precision, for checking the engines' conversions.

#include <dorurizar/uniyuvframe.h>

#include <QImage>
#include <QVector>

namespace dtest {

// A frame of eight vertical bars (white, yellow, cyan, green, magenta, red,
// blue, black at 75 %) and the bytes behind its planes. Each row of each
// plane is followed by `padding` bytes of 0x5a, so a stride that is not
// honoured shows. Bars start at even columns, so every chroma sample lies
// within one bar.
struct YuvBars {
    cUniYuvFrame frame;
    QVector<uchar> bytes;
    // Every pixel of the frame as R'G'B', converted from its own luma and
    // its chroma sample in double precision.
    QImage reference;
};

YuvBars yuvBars(cUniYuvFrame::Format format, QSize size, cUniYuvFrame::Matrix matrix, cUniYuvFrame::Range range,
                int padding = 0);

// One Y'CbCr sample in R'G'B' by the matrix and range, in double precision,
// rounded and clamped to 0..255; alpha 255.
QRgb referenceRgb(int y, int cb, int cr, cUniYuvFrame::Matrix matrix, cUniYuvFrame::Range range);

// The number of bar a column of a frame of the given width lies in.
int barOf(int x, int width);

// The columns of a table of drawn frames: format, matrix and range (ints),
// size, padding, and the source and target rects.
void addFrameColumns();

} // namespace dtest

#endif
