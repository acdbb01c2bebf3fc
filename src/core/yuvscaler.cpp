#include "yuvscaler_p.h"

#include "visiblepart_p.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

// A vector form of the conversion where the compiler can target AVX2 in
// one function and the processor says it has it.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define DORURIZAR_YUV_AVX2 1
#include <immintrin.h>
#else
#define DORURIZAR_YUV_AVX2 0
#endif

namespace YuvScaler {

namespace {

// libswscale scales the planes by nearest sample, as the engines scale
// pictures; its fast paths do that in YUV. Its own conversion to RGB is
// either up to 4 levels off (table-driven) or several times slower than the
// scaling (exact, with full chroma interpolation), so the conversion is ours.
const int kFlags = SWS_POINT;

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

// Scaling stays in YUV: 4:2:0 frames into I420, YUYV into planar 4:2:2.
AVPixelFormat scaledFormat(cUniYuvFrame::Format format)
{
    return format == cUniYuvFrame::YUYV ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV420P;
}

struct Geometry {
    AVPixelFormat from, to;
    int srcW, srcH, dstW, dstH;

    bool operator==(Geometry const& o) const
    {
        return from == o.from && to == o.to && srcW == o.srcW && srcH == o.srcH && dstW == o.dstW && dstH == o.dstH;
    }
};

// Y'CbCr to R'G'B' in 16-bit fixed point: a sample less its offset, times
// 128, times a coefficient in units of 1/8192 keeps the top 16 bits of the
// product, which leaves 1/16 of a level. Each of the three products drops
// under 1/16, so every output lies within 0.7 of the exact value, for every
// input byte; no sum leaves 16 bits.
struct Coefficients {
    qint16 yOffset, y, rv, gu, gv, bu;
};

Coefficients coefficientsOf(cUniYuvFrame::Matrix matrix, cUniYuvFrame::Range range)
{
    const double kr = matrix == cUniYuvFrame::BT709 ? 0.2126 : 0.299;
    const double kb = matrix == cUniYuvFrame::BT709 ? 0.0722 : 0.114;
    const double kg = 1 - kr - kb;
    const bool full = range == cUniYuvFrame::Full;
    const double ys = full ? 1 : 255.0 / 219, cs = full ? 1 : 255.0 / 224;
    auto fixed = [](double v) { return qint16(std::lround(v * 8192)); };
    return {qint16(full ? 0 : 16), fixed(ys), fixed(2 * (1 - kr) * cs), fixed(2 * (1 - kb) * kb / kg * cs),
            fixed(2 * (1 - kr) * kr / kg * cs), fixed(2 * (1 - kb) * cs)};
}

// The top half of a 16 x 16-bit product, as the vector form's multiply gives it.
int mulHigh(int a, int b)
{
    return (a * b) >> 16;
}

// Pixels x .. w - 1 of a row (see convertRow()), one at a time.
void convertPixels(uchar const* y, uchar const* u, uchar const* v, int x, int w, quint32* out, Order order,
                   Coefficients const& k)
{
    for (; x < w; ++x) {
        const int ys = mulHigh((y[x] - k.yOffset) * 128, k.y);
        const int us = (u[x / 2] - 128) * 128, vs = (v[x / 2] - 128) * 128;
        const quint32 r = quint32(qBound(0, (ys + mulHigh(vs, k.rv) + 8) >> 4, 255));
        const quint32 g = quint32(qBound(0, (ys - mulHigh(us, k.gu) - mulHigh(vs, k.gv) + 8) >> 4, 255));
        const quint32 b = quint32(qBound(0, (ys + mulHigh(us, k.bu) + 8) >> 4, 255));
        out[x] = order == Order::Argb ? 0xff000000u | r << 16 | g << 8 | b : 0xff000000u | b << 16 | g << 8 | r;
    }
}

#if DORURIZAR_YUV_AVX2
// The same sixteen pixels at a time, with the same arithmetic and so the
// same results; returns the pixels done (all but an odd width's last, or
// none in a row narrower than 16). An Argb word is B G R A in memory,
// an Abgr one R G B A.
template <bool argb>
__attribute__((target("avx2"))) int convertAvx2(uchar const* y, uchar const* u, uchar const* v, int w,
                                                quint32* out, Coefficients const& k)
{
    const __m256i yOffset = _mm256_set1_epi16(k.yOffset), c128 = _mm256_set1_epi16(128);
    const __m256i ky = _mm256_set1_epi16(k.y), krv = _mm256_set1_epi16(k.rv), kgu = _mm256_set1_epi16(k.gu);
    const __m256i kgv = _mm256_set1_epi16(k.gv), kbu = _mm256_set1_epi16(k.bu), half = _mm256_set1_epi16(8);
    const __m256i alpha = _mm256_set1_epi8(-1);
    if (w < 16)
        return 0;
    // A row's last block overlaps the one before it rather than leave up
    // to 15 pixels to the scalar form; it starts on a chroma pair.
    for (int x = 0, end = (w - 16) & ~1;; x = std::min(x + 16, end)) {
        const __m128i u8 = _mm_loadl_epi64(reinterpret_cast<__m128i const*>(u + x / 2));
        const __m128i v8 = _mm_loadl_epi64(reinterpret_cast<__m128i const*>(v + x / 2));
        __m256i ys = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<__m128i const*>(y + x)));
        __m256i us = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(u8, u8));
        __m256i vs = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(v8, v8));
        ys = _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(ys, yOffset), 7), ky);
        us = _mm256_slli_epi16(_mm256_sub_epi16(us, c128), 7);
        vs = _mm256_slli_epi16(_mm256_sub_epi16(vs, c128), 7);
        __m256i r = _mm256_add_epi16(ys, _mm256_mulhi_epi16(vs, krv));
        __m256i g = _mm256_sub_epi16(_mm256_sub_epi16(ys, _mm256_mulhi_epi16(us, kgu)), _mm256_mulhi_epi16(vs, kgv));
        __m256i b = _mm256_add_epi16(ys, _mm256_mulhi_epi16(us, kbu));
        r = _mm256_srai_epi16(_mm256_add_epi16(r, half), 4);
        r = _mm256_packus_epi16(r, r);
        g = _mm256_srai_epi16(_mm256_add_epi16(g, half), 4);
        g = _mm256_packus_epi16(g, g);
        b = _mm256_srai_epi16(_mm256_add_epi16(b, half), 4);
        b = _mm256_packus_epi16(b, b);
        // Each 128-bit lane holds 8 pixels; p0 has the first 4 of each, p1 the others.
        const __m256i low = _mm256_unpacklo_epi8(argb ? b : r, g);
        const __m256i high = _mm256_unpacklo_epi8(argb ? r : b, alpha);
        const __m256i p0 = _mm256_unpacklo_epi16(low, high), p1 = _mm256_unpackhi_epi16(low, high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(p0, p1, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 8), _mm256_permute2x128_si256(p0, p1, 0x31));
        if (x == end)
            return x + 16;
    }
}

bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// One row of w pixels from w luma samples and the (w + 1) / 2 chroma
// samples of each of u and v, each spread over its two pixels.
void convertRow(uchar const* y, uchar const* u, uchar const* v, int w, quint32* out, Order order,
                Coefficients const& k)
{
    int x = 0;
#if DORURIZAR_YUV_AVX2
    if (hasAvx2())
        x = order == Order::Argb ? convertAvx2<true>(y, u, v, w, out, k) : convertAvx2<false>(y, u, v, w, out, k);
#endif
    convertPixels(y, u, v, x, w, out, order, k);
}

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
    // Our chroma sits with the left luma sample of its pair and, in 4:2:0,
    // between its two rows; the scaled planes' chroma covers its pixels
    // evenly, as convertRow() spreads it.
    av_opt_set_int(c, "src_h_chr_pos", 0, 0);
    if (g.from != AV_PIX_FMT_YUYV422)
        av_opt_set_int(c, "src_v_chr_pos", 128, 0);
    av_opt_set_int(c, "dst_h_chr_pos", 128, 0);
    if (sws_init_context(c, nullptr, nullptr) < 0) {
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

// A row of the scaled planes: room for libswscale's vector stores past its end.
int scaledStride(int w)
{
    return (w + 127) & ~63;
}

// Converts the crop of frame into w x h pixels at out, rows stride bytes
// apart: libswscale scales it into planes of w x h, which are then
// converted. The rows whose overread could leave their plane are copied,
// with room after them, and given to libswscale as a second slice.
bool convert(cUniYuvFrame const& frame, QRect const& crop, Order order, int w, int h, uchar* out, qsizetype stride)
{
    static thread_local ContextCache cache;
    static thread_local std::vector<uchar> tail;
    static thread_local std::vector<uchar> scaled;
    const Geometry g{sourceFormat(frame.mFormat), scaledFormat(frame.mFormat), crop.width(), crop.height(), w, h};
    SwsContext* c = cache.get(g);
    if (!c)
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
    const bool yuyv = frame.mFormat == cUniYuvFrame::YUYV;
    if (!yuyv)
        split &= ~1;  // 4:2:0 slices start on a chroma row

    const int rowShift = yuyv ? 0 : 1;
    const int lumaStride = scaledStride(w), chromaStride = scaledStride((w + 1) / 2);
    const size_t lumaBytes = size_t(lumaStride) * size_t(h);
    const size_t chromaBytes = size_t(chromaStride) * size_t((h + rowShift) >> rowShift);
    if (scaled.size() < lumaBytes + 2 * chromaBytes)
        scaled.resize(lumaBytes + 2 * chromaBytes);
    uint8_t* dst[4] = {scaled.data(), scaled.data() + lumaBytes, scaled.data() + lumaBytes + chromaBytes, nullptr};
    const int dstStrides[4] = {lumaStride, chromaStride, chromaStride, 0};
    int done = split > 0 ? sws_scale(c, planes, strides, 0, split, dst, dstStrides) : 0;

    if (split < crop.height()) {
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
    }
    if (done != h)
        return false;

    const Coefficients k = coefficientsOf(frame.mMatrix, frame.mRange);
    for (int r = 0; r < h; ++r) {
        const size_t chroma = size_t(r >> rowShift) * size_t(chromaStride);
        convertRow(dst[0] + size_t(r) * size_t(lumaStride), dst[1] + chroma, dst[2] + chroma, w,
                   reinterpret_cast<quint32*>(out + r * stride), order, k);
    }
    return true;
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
    const Axis x = axisOf(sourceRect.x(), sourceRect.width(), left, tw, vis.left(), vis.right(), true);
    const Axis y = axisOf(sourceRect.y(), sourceRect.height(), top, th, vis.top(), vis.bottom(),
                          frame.mFormat != cUniYuvFrame::YUYV);
    const QRect crop(QPoint(int(x.cropLo), int(y.cropLo)), QPoint(int(x.cropHi - 1), int(y.cropHi - 1)));
    const qint64 bandW = x.bandHi - x.bandLo, bandH = y.bandHi - y.bandLo;

    // The common case: the whole target shows and the crop needs no
    // aligning, so the conversion writes the destination rows itself.
    if (x.bandLo == vis.left() && x.bandHi == vis.right() + 1 && y.bandLo == vis.top() && y.bandHi == vis.bottom() + 1)
        return convert(frame, crop, dest.order, vis.width(), vis.height(),
                       reinterpret_cast<uchar*>(row(dest, vis.left(), vis.top())), dest.bytesPerLine);

    // Otherwise the band goes through scratch memory and its visible part
    // is copied. A band much larger than what shows (a picture blown up far
    // past the destination) is converted at its own size instead and
    // stretched by nearest sample, so memory follows the visible part.
    const bool nearBand = bandW <= 2 * qint64(vis.width()) + 1024 && bandH <= 2 * qint64(vis.height()) + 1024;
    const int outW = nearBand ? int(bandW) : crop.width(), outH = nearBand ? int(bandH) : crop.height();
    quint32* out = scratch(qint64(outW) * outH);
    if (!convert(frame, crop, dest.order, outW, outH, reinterpret_cast<uchar*>(out), qsizetype(outW) * 4))
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
