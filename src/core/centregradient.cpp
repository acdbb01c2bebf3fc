#include "centregradient_p.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>

namespace {

// One channel at a time, 8 fraction bits; >> on a negative product is the
// arithmetic shift the blend wants (a floor division).
QRgb blendPixel(QRgb c1, QRgb c2, int k)
{
    QRgb out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = int((c1 >> shift) & 0xff);
        const int b = int((c2 >> shift) & 0xff);
        out |= QRgb((a + (((b - a) * k) >> 8)) & 0xff) << shift;
    }
    return out;
}

// Writes first, second, first, second, ... into n pixels.
void fillPairs(QRgb* out, qint64 n, QRgb first, QRgb second)
{
    const QRgb pair[2] = {first, second};
    qint64 i = 0;
    for (; i + 1 < n; i += 2)
        std::memcpy(out + i, pair, sizeof pair);
    if (i < n)
        out[i] = first;
}

qint64 magnitude(qint64 v)
{
    return v < 0 ? -v : v;
}

} // namespace

void writeCentreGradient(uchar* bits, qsizetype bytesPerLine, QSize bounds, QRect const& rect, QRgb c1, QRgb c2)
{
    const qint64 W = qint64(rect.right()) - rect.left() + 1;
    const qint64 H = qint64(rect.bottom()) - rect.top() + 1;
    if (!bits || W <= 0 || H <= 0)
        return;
    const qint64 halfW = std::max<qint64>(W / 2, 1);
    const qint64 halfH = std::max<qint64>(H / 2, 1);

    // The part of rect inside bounds, relative to rect.
    const qint64 x0 = std::max<qint64>(0, -qint64(rect.left()));
    const qint64 y0 = std::max<qint64>(0, -qint64(rect.top()));
    const qint64 x1 = std::min<qint64>(W, qint64(bounds.width()) - rect.left());
    const qint64 y1 = std::min<qint64>(H, qint64(bounds.height()) - rect.top());
    if (x0 >= x1 || y0 >= y1)
        return;

    // Every blend weight k is 0..256, so the 257 possible colours are made once.
    QRgb blended[257];
    for (int k = 0; k <= 256; ++k)
        blended[k] = blendPixel(c1, c2, k);

    // Within a blended row, the columns whose own distance is within the
    // row's form one central span that takes the row's colour; outside it a
    // pixel depends on its column only. So one template row per column chunk
    // serves every row, and a row is a copy plus a two-pixel pattern fill:
    // the whole gradient is written at memory speed.
    constexpr qint64 kChunk = 2048;
    QRgb columnTemplate[kChunk];
    const qint64 centre = W - halfW;  // the column with dx = 0

    for (qint64 chunkStart = x0; chunkStart < x1; chunkStart += kChunk) {
        const qint64 chunkEnd = std::min(x1, chunkStart + kChunk);
        for (qint64 x = chunkStart; x < chunkEnd; ++x) {
            const qint64 k = 256 - (magnitude(x - centre) * 256) / halfW;
            columnTemplate[x - chunkStart] = (W - x) % 2 ? blended[std::max<qint64>(k, 0)] : c1;
        }
        const qint64 chunkWidth = chunkEnd - chunkStart;

        for (qint64 y = y0; y < y1; ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(bits + (rect.top() + y) * bytesPerLine);
            QRgb* out = line + (rect.left() + chunkStart);  // never before the line: chunkStart >= x0
            const qint64 b = (magnitude(y + halfH - H) * 256) / halfH;
            if ((H - y) % 2 == 0 || b >= 256) {
                std::fill(out, out + chunkWidth, c1);
                continue;
            }
            // |x - centre| * 256 / halfW <= b exactly when |x - centre| <= reach.
            const qint64 reach = ((b + 1) * halfW - 1) / 256;
            const qint64 spanStart = std::max(chunkStart, centre - reach) - chunkStart;
            const qint64 spanEnd = std::min(chunkEnd, centre + reach + 1) - chunkStart;
            if (spanStart >= spanEnd) {
                std::copy(columnTemplate, columnTemplate + chunkWidth, out);
                continue;
            }
            std::copy(columnTemplate, columnTemplate + spanStart, out);
            std::copy(columnTemplate + spanEnd, columnTemplate + chunkWidth, out + spanEnd);
            const QRgb rowColour = blended[256 - b];
            const QRgb first = (W - chunkStart - spanStart) % 2 ? rowColour : c1;
            const QRgb second = (W - chunkStart - spanStart - 1) % 2 ? rowColour : c1;
            fillPairs(out + spanStart, spanEnd - spanStart, first, second);
        }
    }
}
