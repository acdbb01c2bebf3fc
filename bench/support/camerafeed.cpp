#include "camerafeed.h"

#include "benchfixtures.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace dbench {

namespace {

// A context converting between 32-bit RGB and I420 of one size, limited-range BT.601 either way.
SwsContext* context(SwsContext* c, QSize size, AVPixelFormat from, AVPixelFormat to)
{
    c = sws_getCachedContext(c, size.width(), size.height(), from, size.width(), size.height(), to, SWS_BILINEAR,
                             nullptr, nullptr, nullptr);
    if (c) {
        int const* bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(c, bt601, from == AV_PIX_FMT_RGB32, bt601, to == AV_PIX_FMT_RGB32, 0, 1 << 16,
                                 1 << 16);
    }
    return c;
}

} // namespace

CameraFeed::CameraFeed(QSize size, int count)
{
    SwsContext* c = context(nullptr, size, AV_PIX_FMT_RGB32, AV_PIX_FMT_YUV420P);
    for (int i = 0; i < count; ++i) {
        const QImage rgb = picture(size, QImage::Format_RGB32, i);
        cUniYuvFrame f(cUniYuvFrame::I420, size);
        mBytes.emplace_back(size_t(f.rowBytes(0) * f.rowCount(0) + 2 * f.rowBytes(1) * f.rowCount(1)));
        uchar* p = mBytes.back().data();
        uint8_t* planes[4] = {p, p + f.rowBytes(0) * f.rowCount(0), nullptr, nullptr};
        planes[2] = planes[1] + f.rowBytes(1) * f.rowCount(1);
        int strides[4] = {f.rowBytes(0), f.rowBytes(1), f.rowBytes(2), 0};
        uchar const* in[4] = {rgb.constBits(), nullptr, nullptr, nullptr};
        const int inStrides[4] = {int(rgb.bytesPerLine()), 0, 0, 0};
        sws_scale(c, in, inStrides, 0, size.height(), planes, strides);
        for (int k = 0; k < 3; ++k)
            f.setPlane(k, planes[k], strides[k]);
        mFrames.push_back(f);
    }
    sws_freeContext(c);
}

SwscaleToImage::~SwscaleToImage()
{
    sws_freeContext(mContext);
}

QImage const& SwscaleToImage::convert(cUniYuvFrame const& frame)
{
    if (mImage.size() != frame.mSize)
        mImage = QImage(frame.mSize, QImage::Format_RGB32);
    mContext = context(mContext, frame.mSize, AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB32);
    uint8_t* out[4] = {mImage.bits(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {int(mImage.bytesPerLine()), 0, 0, 0};
    uchar const* in[4] = {frame.mPlanes[0], frame.mPlanes[1], frame.mPlanes[2], nullptr};
    const int inStrides[4] = {frame.mStrides[0], frame.mStrides[1], frame.mStrides[2], 0};
    sws_scale(mContext, in, inStrides, 0, frame.mSize.height(), out, outStrides);
    return mImage;
}

} // namespace dbench
