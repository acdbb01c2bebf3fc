#include "yuvscaler_p.h"

#include "visiblepart_p.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

// Vector forms of the sampling and the conversion where the compiler can
// target SSSE3 and AVX2 in one function and the processor says it has them.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define DORURIZAR_YUV_X86 1
#include <immintrin.h>
#else
#define DORURIZAR_YUV_X86 0
#endif

namespace YuvScaler {

namespace {

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

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

// Pixels x .. w - 1 of a row from a luma and a chroma pair each, one at a time.
void convertPixels(uchar const* y, uchar const* u, uchar const* v, int x, int w, quint32* out, Order order,
                   Coefficients const& k)
{
    for (; x < w; ++x) {
        const int ys = mulHigh((y[x] - k.yOffset) * 128, k.y);
        const int us = (u[x] - 128) * 128, vs = (v[x] - 128) * 128;
        const quint32 r = quint32(qBound(0, (ys + mulHigh(vs, k.rv) + 8) >> 4, 255));
        const quint32 g = quint32(qBound(0, (ys - mulHigh(us, k.gu) - mulHigh(vs, k.gv) + 8) >> 4, 255));
        const quint32 b = quint32(qBound(0, (ys + mulHigh(us, k.bu) + 8) >> 4, 255));
        out[x] = order == Order::Argb ? 0xff000000u | r << 16 | g << 8 | b : 0xff000000u | b << 16 | g << 8 | r;
    }
}

#if DORURIZAR_YUV_X86
// The same sixteen pixels at a time, with the same arithmetic and so the
// same results; returns the pixels done (none in a row narrower than 16).
// An Argb word is B G R A in memory, an Abgr one R G B A.
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
    // to 15 pixels to the scalar form.
    for (int x = 0, end = w - 16;; x = std::min(x + 16, end)) {
        __m256i ys = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<__m128i const*>(y + x)));
        __m256i us = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<__m128i const*>(u + x)));
        __m256i vs = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<__m128i const*>(v + x)));
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
            return w;
    }
}

bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

bool hasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

// One row of w pixels from w samples of each of y, u and v.
void convertRow(uchar const* y, uchar const* u, uchar const* v, int w, quint32* out, Order order,
                Coefficients const& k)
{
    int x = 0;
#if DORURIZAR_YUV_X86
    if (hasAvx2())
        x = order == Order::Argb ? convertAvx2<true>(y, u, v, w, out, k) : convertAvx2<false>(y, u, v, w, out, k);
#endif
    convertPixels(y, u, v, x, w, out, order, k);
}

// Picks the bytes at given offsets of a row, in order: the samples one
// channel of a plane row gives the pixels of a destination row. The
// offsets never fall. Where sixteen of them lie within 32 or 64 bytes of
// the row, as they do for any scale down to a quarter, they are picked with
// two or four byte shuffles; elsewhere one at a time. Nothing is read
// outside [0, rowBytes) of the row.
class ColumnPick
{
public:
    void set(std::vector<int> const& offsets, int rowBytes)
    {
        mOffsets = offsets;
        mBlocks.clear();
        const int n = int(offsets.size());
#if DORURIZAR_YUV_X86
        if (n < 16 || !hasSsse3())
            return;
        // The last block overlaps the one before it.
        for (int start = 0;; start = std::min(start + 16, n - 16)) {
            const int first = offsets[size_t(start)], last = offsets[size_t(start + 15)];
            Block b{start, 0, 0, {}};
            for (int span : {32, 64}) {
                b.window = std::min(first, rowBytes - span);
                if (b.window >= 0 && last - b.window < span) {
                    b.chunks = span / 16;
                    break;
                }
            }
            b.masks.fill(0x80);
            for (int i = 0; i < 16 && b.chunks; ++i) {
                const int d = offsets[size_t(start + i)] - b.window;
                b.masks[size_t(d / 16 * 16 + i)] = uchar(d % 16);
            }
            mBlocks.push_back(b);
            if (start == n - 16)
                break;
        }
#else
        Q_UNUSED(rowBytes);
#endif
    }

    void pick(uchar const* row, uchar* out) const
    {
#if DORURIZAR_YUV_X86
        if (!mBlocks.empty()) {
            pickSsse3(row, out);
            return;
        }
#endif
        for (size_t i = 0; i < mOffsets.size(); ++i)
            out[i] = row[mOffsets[i]];
    }

private:
    struct Block {
        int start, window;
        int chunks;  // 16-byte pieces of the window; 0: one byte at a time
        // Per piece, for each of the 16 bytes picked, its place in the
        // piece, or 0x80 where it comes from another piece.
        std::array<uchar, 64> masks;
    };

#if DORURIZAR_YUV_X86
    __attribute__((target("ssse3"))) void pickSsse3(uchar const* row, uchar* out) const
    {
        for (Block const& b : mBlocks) {
            if (!b.chunks) {
                for (int i = b.start; i < b.start + 16; ++i)
                    out[i] = row[mOffsets[size_t(i)]];
                continue;
            }
            __m128i picked = _mm_setzero_si128();
            for (int j = 0; j < b.chunks; ++j) {
                const __m128i piece = _mm_loadu_si128(reinterpret_cast<__m128i const*>(row + b.window + 16 * j));
                const __m128i mask = _mm_loadu_si128(reinterpret_cast<__m128i const*>(b.masks.data() + 16 * j));
                picked = _mm_or_si128(picked, _mm_shuffle_epi8(piece, mask));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + b.start), picked);
        }
    }
#endif

    std::vector<int> mOffsets;
    std::vector<Block> mBlocks;
};

// Destination pixel t of a target starting at tgt, tgtLen long, takes
// source sample floor((t + 1/2) * srcLen / tgtLen) of a span starting at src.
int sampleOf(qint64 t, qint64 tgt, qint64 tgtLen, qint64 src, qint64 srcLen)
{
    return int(src + floorDiv((2 * (t - tgt) + 1) * srcLen, 2 * tgtLen));
}

// Where a pixel's three samples lie in a frame's rows: the plane and the
// byte of each channel, for frame column x.
struct Layout {
    int plane[3];
    int (*offset[3])(int x);
};

Layout layoutOf(cUniYuvFrame::Format format)
{
    switch (format) {
    case cUniYuvFrame::NV12:
        return {{0, 1, 1},
                {[](int x) { return x; }, [](int x) { return x & ~1; }, [](int x) { return x | 1; }}};
    case cUniYuvFrame::YUYV:
        return {{0, 0, 0},
                {[](int x) { return 2 * x; }, [](int x) { return 2 * (x & ~1) + 1; },
                 [](int x) { return 2 * (x & ~1) + 3; }}};
    default:
        return {{0, 1, 2},
                {[](int x) { return x; }, [](int x) { return x / 2; }, [](int x) { return x / 2; }}};
    }
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

    // The columns' samples, picked the same way on every row; the scratch
    // rows and maps follow the visible part, never the target or the frame.
    static thread_local ColumnPick picks[3];
    static thread_local std::vector<uchar> samples;
    static thread_local std::vector<int> offsets;
    const Layout layout = layoutOf(frame.mFormat);
    const size_t w = size_t(vis.width());
    offsets.resize(w);
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < w; ++i)
            offsets[i] = layout.offset[c](
                sampleOf(vis.left() + qint64(i), left, tw, sourceRect.x(), sourceRect.width()));
        picks[c].set(offsets, frame.rowBytes(layout.plane[c]));
    }
    samples.resize(3 * w);
    uchar* const channel[3] = {samples.data(), samples.data() + w, samples.data() + 2 * w};

    const Coefficients k = coefficientsOf(frame.mMatrix, frame.mRange);
    for (int r = vis.top(); r <= vis.bottom(); ++r) {
        const int y = sampleOf(r, top, th, sourceRect.y(), sourceRect.height());
        for (int c = 0; c < 3; ++c) {
            const int plane = layout.plane[c];
            // 4:2:0 chroma planes have a row for every two of the frame's.
            const int planeRow = plane > 0 ? y / 2 : y;
            picks[c].pick(frame.mPlanes[plane] + qint64(planeRow) * frame.mStrides[plane], channel[c]);
        }
        convertRow(channel[0], channel[1], channel[2], vis.width(), row(dest, vis.left(), r), dest.order, k);
    }
    return true;
}

} // namespace YuvScaler
