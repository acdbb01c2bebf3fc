#include "yuvbars.h"

#include <QTest>

#include <algorithm>
#include <cmath>

namespace dtest {

namespace {

const QRgb kBars[8] = {0xffbfbfbf, 0xffbfbf00, 0xff00bfbf, 0xff00bf00, 0xffbf00bf, 0xffbf0000, 0xff0000bf, 0xff000000};

struct Coefficients {
    double kr, kb;
};

Coefficients coefficients(cUniYuvFrame::Matrix matrix)
{
    return matrix == cUniYuvFrame::BT709 ? Coefficients{0.2126, 0.0722} : Coefficients{0.299, 0.114};
}

int clampByte(double v)
{
    return int(std::lround(std::clamp(v, 0.0, 255.0)));
}

struct Sample {
    int y, cb, cr;
};

Sample toYuv(QRgb rgb, cUniYuvFrame::Matrix matrix, cUniYuvFrame::Range range)
{
    const auto [kr, kb] = coefficients(matrix);
    const double r = qRed(rgb) / 255.0, g = qGreen(rgb) / 255.0, b = qBlue(rgb) / 255.0;
    const double y = kr * r + (1 - kr - kb) * g + kb * b;
    const double pb = (b - y) / (2 * (1 - kb)), pr = (r - y) / (2 * (1 - kr));
    if (range == cUniYuvFrame::Full)
        return {clampByte(255 * y), clampByte(128 + 255 * pb), clampByte(128 + 255 * pr)};
    return {clampByte(16 + 219 * y), clampByte(128 + 224 * pb), clampByte(128 + 224 * pr)};
}

} // namespace

QRgb referenceRgb(int y, int cb, int cr, cUniYuvFrame::Matrix matrix, cUniYuvFrame::Range range)
{
    const auto [kr, kb] = coefficients(matrix);
    const bool full = range == cUniYuvFrame::Full;
    const double luma = full ? y / 255.0 : (y - 16) / 219.0;
    const double pb = full ? (cb - 128) / 255.0 : (cb - 128) / 224.0;
    const double pr = full ? (cr - 128) / 255.0 : (cr - 128) / 224.0;
    const double r = luma + 2 * (1 - kr) * pr, b = luma + 2 * (1 - kb) * pb;
    const double g = (luma - kr * r - kb * b) / (1 - kr - kb);
    return qRgb(clampByte(255 * r), clampByte(255 * g), clampByte(255 * b));
}

int barOf(int x, int width)
{
    // Bar k starts at the even column nearest below k * width / 8.
    for (int k = 7; k > 0; --k)
        if (x >= (k * width / 8 & ~1))
            return k;
    return 0;
}

YuvBars yuvBars(cUniYuvFrame::Format format, QSize size, cUniYuvFrame::Matrix matrix, cUniYuvFrame::Range range,
                int padding)
{
    YuvBars bars;
    bars.frame = cUniYuvFrame(format, size, matrix, range);
    const int w = size.width(), h = size.height();
    QVector<Sample> columns(w);
    for (int x = 0; x < w; ++x)
        columns[x] = toYuv(kBars[barOf(x, w)], matrix, range);

    // Lay the planes out one after another, each row padded.
    int offsets[3] = {0, 0, 0}, total = 0;
    for (int i = 0; i < bars.frame.planeCount(); ++i) {
        offsets[i] = total;
        total += (bars.frame.rowBytes(i) + padding) * bars.frame.rowCount(i);
    }
    bars.bytes.fill(0x5a, total);
    for (int i = 0; i < bars.frame.planeCount(); ++i)
        bars.frame.setPlane(i, bars.bytes.constData() + offsets[i], bars.frame.rowBytes(i) + padding);
    for (int i = 0; i < bars.frame.planeCount(); ++i) {
        const int stride = bars.frame.mStrides[i];
        for (int row = 0; row < bars.frame.rowCount(i); ++row) {
            uchar* out = bars.bytes.data() + offsets[i] + row * stride;
            for (int b = 0; b < bars.frame.rowBytes(i); ++b) {
                if (format == cUniYuvFrame::YUYV) {  // Y0 Cb Y1 Cr
                    const int x = b / 2;
                    const Sample& s = columns[std::min(x, w - 1)];
                    out[b] = b % 2 == 0 ? s.y : b % 4 == 1 ? columns[x & ~1].cb : columns[x & ~1].cr;
                } else if (i == 0) {
                    out[b] = columns[b].y;
                } else if (format == cUniYuvFrame::NV12) {
                    out[b] = b % 2 == 0 ? columns[b].cb : columns[b - 1].cr;
                } else {
                    out[b] = i == 1 ? columns[2 * b].cb : columns[2 * b].cr;
                }
            }
        }
    }

    bars.reference = QImage(size, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Sample& chroma = columns[x & ~1];
            bars.reference.setPixel(x, y, referenceRgb(columns[x].y, chroma.cb, chroma.cr, matrix, range));
        }
    return bars;
}

void addFrameColumns()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("matrix");
    QTest::addColumn<int>("range");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("padding");
    QTest::addColumn<QRect>("source");
    QTest::addColumn<QRect>("target");
}

} // namespace dtest
