#include "yuvscaler_p.h"

#include "visiblepart_p.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <vector>

namespace YuvScaler {

namespace {

// Bilinear filtering; the full-resolution chroma path is what keeps limited
// range within 1 level of exact: the table-driven output is up to 3 off.
const int kFlags = SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

// The lines one filter tap may reach beyond the source position it serves.
const qint64 kMargin = 2;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

qint64 ceilDiv(qint64 a, qint64 b)
{
    return -floorDiv(-a, b);
}

AVPixelFormat sourceFormat(cUniYuvFrame::Format format)
{
    switch (format) {
    case cUniYuvFrame::I420: return AV_PIX_FMT_YUV420P;
    case cUniYuvFrame::NV12: return AV_PIX_FMT_NV12;
    case cUniYuvFrame::YUYV: return AV_PIX_FMT_YUYV422;
    default: return AV_PIX_FMT_NONE;
    }
}

struct Geometry {
    AVPixelFormat from, to;
    int srcW, srcH, dstW, dstH;
    cUniYuvFrame::Matrix matrix;
    cUniYuvFrame::Range range;

    bool operator==(Geometry const& o) const
    {
        return from == o.from && to == o.to && srcW == o.srcW && srcH == o.srcH && dstW == o.dstW && dstH == o.dstH
            && matrix == o.matrix && range == o.range;
    }
};

SwsContext* makeContext(Geometry const& g)
{
    SwsContext* c = sws_alloc_context();
    if (!c)
        return nullptr;
    av_opt_set_int(c, "srcw", g.srcW, 0);
    av_opt_set_int(c, "srch", g.srcH, 0);
    av_opt_set_int(c, "src_format", g.from, 0);
    av_opt_set_int(c, "dstw", g.dstW, 0);
    av_opt_set_int(c, "dsth", g.dstH, 0);
    av_opt_set_int(c, "dst_format", g.to, 0);
    av_opt_set_int(c, "sws_flags", kFlags, 0);
    // Our chroma sits with the left luma sample of its pair and between its
    // two rows; libswscale would centre it both ways.
    av_opt_set_int(c, "src_h_chr_pos", 0, 0);
    av_opt_set_int(c, "src_v_chr_pos", 128, 0);
    if (sws_init_context(c, nullptr, nullptr) < 0) {
        sws_freeContext(c);
        return nullptr;
    }
    int const* coefficients = sws_getCoefficients(g.matrix == cUniYuvFrame::BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
    // Output RGB is full range; brightness 0, contrast and saturation 1 (16.16).
    if (sws_setColorspaceDetails(c, coefficients, g.range == cUniYuvFrame::Full, coefficients, 1, 0, 1 << 16,
                                 1 << 16)
        < 0) {
        sws_freeContext(c);
        return nullptr;
    }
    return c;
}

// The contexts of the geometries drawn last; the least recently used one
// makes room. Two are enough for a wall of tiles of two sizes.
class ContextCache
{
public:
    ~ContextCache()
    {
        for (Entry& e : mEntries)
            sws_freeContext(e.context);
    }

    SwsContext* get(Geometry const& g)
    {
        Entry* oldest = &mEntries[0];
        for (Entry& e : mEntries) {
            if (e.context && e.geometry == g) {
                e.used = ++mClock;
                return e.context;
            }
            if (e.used < oldest->used)
                oldest = &e;
        }
        SwsContext* c = makeContext(g);
        if (!c)
            return nullptr;
        sws_freeContext(oldest->context);
        *oldest = Entry{g, c, ++mClock};
        return c;
    }

private:
    struct Entry {
        Geometry geometry;
        SwsContext* context = nullptr;
        unsigned long long used = 0;
    };
    std::array<Entry, 6> mEntries{};
    unsigned long long mClock = 0;
};

// One axis of a draw. The source span [src, src + srcLen) maps onto the
// target span [tgt, tgt + tgtLen) of the destination, of which [visLo,
// visHi] shows. crop is the part of the source to convert, band where it
// lands in destination coordinates (it may reach past the visible part).
struct Axis {
    qint64 cropLo, cropHi;  // half-open, in frame coordinates
    qint64 bandLo, bandHi;  // half-open, in destination coordinates
};

Axis axisOf(qint64 src, qint64 srcLen, qint64 tgt, qint64 tgtLen, qint64 visLo, qint64 visHi, bool evenStart)
{
    Axis a{src, src + srcLen, tgt, tgt + tgtLen};
    if (visLo > tgt || visHi < tgt + tgtLen - 1) {
        // A downscale's filter spans the scale factor on top of the margin.
        const qint64 reach = kMargin + ceilDiv(srcLen, tgtLen);
        a.cropLo = std::max(src, src + floorDiv((visLo - tgt) * srcLen, tgtLen) - reach);
        a.cropHi = std::min(src + srcLen, src + ceilDiv((visHi + 1 - tgt) * srcLen, tgtLen) + reach);
    }
    // Subsampled chroma is cut at a sample boundary: the crop then starts
    // with a whole chroma pair, sited as in the frame.
    if (evenStart)
        a.cropLo &= ~qint64(1);
    a.bandLo = tgt + floorDiv((a.cropLo - src) * tgtLen, srcLen);
    a.bandHi = tgt + ceilDiv((a.cropHi - src) * tgtLen, srcLen);
    return a;
}

// Where the crop lies in plane i: its first byte in a row, the bytes it
// takes of a row, and the subsampling of rows (0 or 1).
struct PlaneCut {
    int offset, bytes, rowShift;
};

PlaneCut planeCut(cUniYuvFrame::Format format, int i, QRect const& crop)
{
    const int x = crop.x(), pairs = (crop.width() + 1) / 2;  // x is even
    if (format == cUniYuvFrame::YUYV)
        return {2 * x, 4 * pairs, 0};
    if (i == 0)
        return {x, crop.width(), 0};
    return format == cUniYuvFrame::NV12 ? PlaneCut{x, 2 * pairs, 1} : PlaneCut{x / 2, pairs, 1};
}

// Bytes past the end of a row that libswscale's vector code may read.
const qint64 kOverread = 256;

// Converts the crop of frame into w x h pixels at out, rows stride bytes
// apart. The rows whose overread could leave their plane are copied, with
// room after them, and given to libswscale as a second slice.
bool convert(cUniYuvFrame const& frame, QRect const& crop, AVPixelFormat to, int w, int h, uchar* out,
             qsizetype stride)
{
    static thread_local ContextCache cache;
    static thread_local std::vector<uchar> tail;
    const Geometry g{sourceFormat(frame.mFormat), to, crop.width(), crop.height(), w, h, frame.mMatrix,
                     frame.mRange};
    SwsContext* c = cache.get(g);
    if (!c || stride > INT_MAX)
        return false;
    const int planeCount = frame.planeCount();
    uchar const* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {0, 0, 0, 0};
    PlaneCut cuts[3];
    int split = crop.height();  // the first row of the copied slice
    for (int i = 0; i < planeCount; ++i) {
        cuts[i] = planeCut(frame.mFormat, i, crop);
        strides[i] = frame.mStrides[i];
        const qint64 first = qint64(crop.y() >> cuts[i].rowShift) * strides[i] + cuts[i].offset;
        const qint64 end = qint64(strides[i]) * (frame.rowCount(i) - 1) + frame.rowBytes(i);
        planes[i] = frame.mPlanes[i] + first;
        const qint64 safeRows = std::max<qint64>(0, floorDiv(end - first - cuts[i].bytes - kOverread, strides[i]) + 1);
        split = int(std::min<qint64>(split, safeRows << cuts[i].rowShift));
    }
    if (frame.mFormat != cUniYuvFrame::YUYV)
        split &= ~1;  // 4:2:0 slices start on a chroma row
    uint8_t* dst[4] = {out, nullptr, nullptr, nullptr};
    const int dstStrides[4] = {int(stride), 0, 0, 0};
    int done = split > 0 ? sws_scale(c, planes, strides, 0, split, dst, dstStrides) : 0;
    if (split == crop.height())
        return done == h;

    uchar const* copies[4] = {nullptr, nullptr, nullptr, nullptr};
    int copyStrides[4] = {0, 0, 0, 0};
    size_t offsets[3], total = 0;
    for (int i = 0; i < planeCount; ++i) {
        const int rows = ((crop.height() - split) + cuts[i].rowShift) >> cuts[i].rowShift;
        copyStrides[i] = cuts[i].bytes + int(kOverread);
        offsets[i] = total;
        total += size_t(rows) * size_t(copyStrides[i]);
    }
    if (tail.size() < total)
        tail.resize(total);
    for (int i = 0; i < planeCount; ++i) {
        copies[i] = tail.data() + offsets[i];
        const int first = split >> cuts[i].rowShift;
        for (int r = first; r < (crop.height() + cuts[i].rowShift) >> cuts[i].rowShift; ++r)
            std::memcpy(tail.data() + offsets[i] + size_t(r - first) * size_t(copyStrides[i]),
                        planes[i] + qint64(r) * strides[i], size_t(cuts[i].bytes));
    }
    done += sws_scale(c, copies, copyStrides, split, crop.height() - split, dst, dstStrides);
    return done == h;
}

// Scratch pixels kept from call to call; engines draw from one thread.
quint32* scratch(qint64 pixels)
{
    static thread_local std::vector<quint32> buffer;
    if (buffer.size() < size_t(pixels))
        buffer.resize(size_t(pixels));
    return buffer.data();
}

// Pixel (x, y) of the destination, counted from its area's top left.
quint32* row(Destination const& d, qint64 x, qint64 y)
{
    return reinterpret_cast<quint32*>(d.bits + y * d.bytesPerLine) + x;
}

} // namespace

bool draw(cUniYuvFrame const& frame, QRect const& sourceRect, QRect const& target, Destination const& dest)
{
    if (!frame.canDraw(sourceRect) || !dest.bits || dest.area.isEmpty() || !target.isValid())
        return false;
    // From here on, coordinates count from the area's top left.
    const qint64 left = qint64(target.left()) - dest.area.left(), top = qint64(target.top()) - dest.area.top();
    const qint64 tw = qint64(target.right()) - target.left() + 1, th = qint64(target.bottom()) - target.top() + 1;
    const QRect vis = visiblePart(left, top, left + tw - 1, top + th - 1, dest.area.size());
    if (vis.isEmpty())
        return true;
    const AVPixelFormat to = dest.order == Order::Argb ? AV_PIX_FMT_RGB32 : AV_PIX_FMT_BGR32;
    const Axis x = axisOf(sourceRect.x(), sourceRect.width(), left, tw, vis.left(), vis.right(), true);
    const Axis y = axisOf(sourceRect.y(), sourceRect.height(), top, th, vis.top(), vis.bottom(),
                          frame.mFormat != cUniYuvFrame::YUYV);
    const QRect crop(QPoint(int(x.cropLo), int(y.cropLo)), QPoint(int(x.cropHi - 1), int(y.cropHi - 1)));
    const qint64 bandW = x.bandHi - x.bandLo, bandH = y.bandHi - y.bandLo;

    // The common case: the whole target shows and the crop needs no
    // aligning, so libswscale writes the destination rows itself.
    if (x.bandLo == vis.left() && x.bandHi == vis.right() + 1 && y.bandLo == vis.top() && y.bandHi == vis.bottom() + 1)
        return convert(frame, crop, to, vis.width(), vis.height(), reinterpret_cast<uchar*>(row(dest, vis.left(), vis.top())),
                       dest.bytesPerLine);

    // Otherwise the band goes through scratch memory and its visible part
    // is copied. A band much larger than what shows (a picture blown up far
    // past the destination) is converted at its own size instead and
    // stretched by nearest sample, so memory follows the visible part.
    const bool nearBand = bandW <= 2 * qint64(vis.width()) + 1024 && bandH <= 2 * qint64(vis.height()) + 1024;
    const int outW = nearBand ? int(bandW) : crop.width(), outH = nearBand ? int(bandH) : crop.height();
    quint32* out = scratch(qint64(outW) * outH);
    if (!convert(frame, crop, to, outW, outH, reinterpret_cast<uchar*>(out), qsizetype(outW) * 4))
        return false;
    if (nearBand) {
        for (int r = vis.top(); r <= vis.bottom(); ++r)
            std::memcpy(row(dest, vis.left(), r), out + (r - y.bandLo) * bandW + (vis.left() - x.bandLo),
                        size_t(vis.width()) * 4);
        return true;
    }
    // Target pixel t takes source sample floor((t + 1/2) * srcLen / tgtLen).
    auto sample = [](qint64 t, qint64 tgt, qint64 tgtLen, qint64 src, qint64 srcLen, qint64 cropLo) {
        return src + floorDiv((2 * (t - tgt) + 1) * srcLen, 2 * tgtLen) - cropLo;
    };
    std::vector<int> columns(size_t(vis.width()));
    for (int c = 0; c < vis.width(); ++c)
        columns[size_t(c)] = int(sample(vis.left() + c, left, tw, sourceRect.x(), sourceRect.width(), x.cropLo));
    for (int r = vis.top(); r <= vis.bottom(); ++r) {
        const quint32* from = out + sample(r, top, th, sourceRect.y(), sourceRect.height(), y.cropLo) * outW;
        quint32* o = row(dest, vis.left(), r);
        for (int c = 0; c < vis.width(); ++c)
            o[c] = from[columns[size_t(c)]];
    }
    return true;
}

} // namespace YuvScaler
