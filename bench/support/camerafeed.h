#ifndef DORURIZAR_CAMERAFEED_H
#define DORURIZAR_CAMERAFEED_H

// Decoded camera frames for the video benchmarks, and the way hosts show one
// today: libswscale converts it to a full-size 32-bit image, which the engine
// then draws scaled. The image is QImage::Format_RGB32, the opaque form of
// ARGB32, so the engines copy it rather than blend it: the faster of the two.

#include <dorurizar/uniyuvframe.h>

#include <QImage>
#include <QSize>

#include <vector>

struct SwsContext;

namespace dbench {

// count I420 frames of size, limited-range BT.601 as decoders give them, each
// in planes of its own: camera-like pictures (see picture()) of different shifts.
class CameraFeed
{
public:
    CameraFeed(QSize size, int count);
    cUniYuvFrame const& frame(int i) const { return mFrames[size_t(i) % mFrames.size()]; }

private:
    std::vector<std::vector<uchar>> mBytes;
    std::vector<cUniYuvFrame> mFrames;
};

// The host's conversion: one cached context, one image reused from frame to frame.
class SwscaleToImage
{
public:
    ~SwscaleToImage();
    QImage const& convert(cUniYuvFrame const& frame);

private:
    SwsContext* mContext = nullptr;
    QImage mImage;
};

} // namespace dbench

#endif
