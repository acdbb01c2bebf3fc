#ifndef DORURIZAR_UNIYUVFRAME_H
#define DORURIZAR_UNIYUVFRAME_H

#include "dorurizar_export.h"

#include <QRect>
#include <QSize>

// One decoded video frame in a YUV layout, described in place: the value
// holds pointers to the caller's planes and copies no pixel, so it is as
// cheap to pass around as a QRect. The planes must stay valid and unchanged
// while a drawing call that takes the frame runs; engines that keep pixels
// for later frames (the GL engine's textures) copy what they need.
//
//   format  planes                          bytes of one row (w = width)
//   I420    Y, Cb (U), Cr (V); 4:2:0        w, (w + 1) / 2, (w + 1) / 2
//   NV12    Y, Cb Cr interleaved; 4:2:0     w, 2 * ((w + 1) / 2)
//   YUYV    Y0 Cb Y1 Cr for each two pixels 4 * ((w + 1) / 2)
//
// The 4:2:0 chroma planes have (h + 1) / 2 rows; the others h rows. Chroma
// samples sit between their luma samples vertically and are co-sited with
// the left one horizontally, as decoders produce them.
class DORURIZAR_EXPORT cUniYuvFrame
{
public:
    enum Format { Invalid, I420, NV12, YUYV };
    // The colour matrix that turns Y'CbCr into R'G'B'.
    enum Matrix { BT601, BT709 };
    // Limited ("TV", "MPEG"): Y' 16..235, Cb Cr 16..240; full ("PC", "JPEG"): 0..255.
    enum Range { Limited, Full };

    // The largest width and height a frame may have (an 8K picture fits twice).
    static const int kMaxSide = 16384;

    // An invalid frame: no format, no size, no planes.
    cUniYuvFrame();
    // A frame of the given layout whose planes are still unset (and so not
    // valid until setPlane() gives each of them).
    cUniYuvFrame(Format format, QSize const& size, Matrix matrix = BT601, Range range = Limited);

    // Sets plane i (0 .. planeCount() - 1) to rows of stride bytes from data;
    // an i outside the format's planes is ignored.
    void setPlane(int i, uchar const* data, int stride);

    // 3 for I420, 2 for NV12, 1 for YUYV, 0 for anything else.
    int planeCount() const;
    // The bytes one row of plane i holds (the table above); 0 outside the planes.
    int rowBytes(int i) const;
    // The rows of plane i; 0 outside the planes.
    int rowCount(int i) const;

    // True when the format is known, the size is positive and at most
    // kMaxSide on each side, and every plane is set with a stride at least
    // its row's bytes. Engines draw nothing from a frame that is not valid.
    bool isValid() const;
    // Whether sourceRect can be drawn from this frame: the frame is valid and
    // sourceRect is non-empty and lies inside rect().
    bool canDraw(QRect const& sourceRect) const;

    // (0, 0) and mSize.
    QRect rect() const;

    Format mFormat;
    QSize mSize;
    Matrix mMatrix;
    Range mRange;
    uchar const* mPlanes[3];
    int mStrides[3];
};

#endif
