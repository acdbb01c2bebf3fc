#include "atlasfile.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <new>
#include <cerrno>
#include <cstring>
#include <vector>

#include <png.h>
#include <unistd.h>

namespace atlasfile {

bool writeChecked(QString const& path, std::function<bool(QIODevice&)> const& fill, QString* why)
{
    QFile file(path);
    QString reason;
    // QFile buffers: the last writes reach the disk only at the flush, so its failure counts too.
    // A short write leaves QFile without a reason; errno has it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        reason = file.errorString();
    else if ((errno = 0, !fill(file) || !file.flush() || ::fsync(file.handle()) != 0))
        reason = errno ? QString::fromLocal8Bit(std::strerror(errno))
                       : file.error() ? file.errorString() : QStringLiteral("the contents could not be made");
    file.close();
    if (reason.isEmpty() && file.error() != QFileDevice::NoError)
        reason = file.errorString();
    if (reason.isEmpty())
        return true;
    file.remove();
    if (why)
        *why = reason;
    return false;
}

namespace {

void writeToDevice(png_structp png, png_bytep data, png_size_t size)
{
    QIODevice* device = static_cast<QIODevice*>(png_get_io_ptr(png));
    if (device->write(reinterpret_cast<char const*>(data), qint64(size)) != qint64(size))
        png_error(png, "write failed");  // back to writePng's setjmp
}

void flushNothing(png_structp)
{
}

} // namespace

bool writePng(QIODevice& device, QImage const& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull())
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // libpng reports errors by a long jump here; nothing with a destructor
    // is made between here and its calls.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &device, writeToDevice, flushNothing);
    png_set_IHDR(png, info, png_uint_32(argb.width()), png_uint_32(argb.height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Choosing a filter for each row only pays where the rows are compressed.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 0);
    png_write_info(png, info);
    // A 32-bit ARGB word is B G R A in memory on a little-endian machine.
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_bgr(png);
    else
        png_set_swap_alpha(png);
    for (int y = 0; y < argb.height(); ++y)
        png_write_row(png, argb.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writeRects(QString const& path, QVector<QRect> const& boxes, QString* why)
{
    if (boxes.size() != 256)
        return false;
    // QSettings' INI form of the array, written by hand so that every byte's write is checked.
    QByteArray text("[rects]\n");
    for (int i = 0; i < 256; ++i) {
        QRect const& box = boxes[i];
        const QByteArray key = QByteArray::number(i + 1) + '\\';
        const int values[4] = {box.x(), box.y(), box.width(), box.height()};
        for (int k = 0; k < 4; ++k)
            text += key + "xywh"[k] + '=' + QByteArray::number(values[k]) + '\n';
    }
    text += "size=256\n";
    return writeChecked(path, [&text](QIODevice& file) { return file.write(text) == text.size(); }, why);
}

bool writeAtlas(QString const& dir, QString const& name, QImage const& image, QVector<QRect> const& boxes)
{
    QDir().mkpath(dir);
    const QString base = dir + QLatin1Char('/') + name;
    return writeChecked(base + QStringLiteral(".png"), [&image](QIODevice& file) { return image.save(&file, "PNG"); })
        && writeRects(base + QStringLiteral(".rects"), boxes);
}

Synthetic makeSynthetic(int (*widthOf)(int byte), int height, int border, QRgb color, QRgb borderColor)
{
    int widest = 1;
    for (int b = 0; b < 256; ++b)
        widest = qMax(widest, widthOf(b));
    const int gap = 4 * border + 1;
    const int cellW = widest + gap;
    const int cellH = height + gap;
    const int columns = 16;

    Synthetic atlas;
    // One spare row at the bottom holds the empty boxes on clear pixels.
    atlas.image = QImage(columns * cellW, (256 / columns + 1) * cellH, QImage::Format_ARGB32);
    atlas.image.fill(0);
    atlas.boxes.resize(256);
    const QPoint emptySpot(0, (256 / columns) * cellH);

    QPainter p(&atlas.image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (int b = 0; b < 256; ++b) {
        const int w = widthOf(b);
        if (w <= 0 || height <= 0) {
            atlas.boxes[b] = QRect(emptySpot, QSize(0, 0));
            continue;
        }
        const QRect box(QPoint((b % columns) * cellW, (b / columns) * cellH), QSize(w, height));
        if (border > 0)
            p.fillRect(QRect(box.topLeft(), box.size() + QSize(border, border)), QColor::fromRgba(borderColor));
        p.fillRect(box, QColor::fromRgba(color));
        atlas.boxes[b] = box;
    }
    return atlas;
}

namespace {

// One source-over step on an alpha value, rounded as the raster engine rounds
// (x * a / 255 as (t + t / 256 + 128) / 256).
inline uint over(uint d, uint s)
{
    const uint t = d * (255 - s);
    return s + ((t + (t >> 8) + 0x80) >> 8);
}

} // namespace

bool growShapes(QImage& image, int border)
{
    if (border < 0 || border > 127 || image.format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    const int w = image.width(), h = image.height(), B = border, span = 2 * B + 1;
    if (B == 0)
        return true;
    std::vector<uchar> alpha, solidRows, inkRows;
    std::vector<int> solid, ink;
    try {
        alpha.resize(size_t(w) * h);
        solidRows.resize(size_t(span) * w);
        inkRows.resize(size_t(span) * w);
        solid.resize(w);
        ink.resize(w);
    } catch (std::bad_alloc const&) {
        return false;
    }
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            alpha[size_t(y) * w + x] = uchar(qAlpha(line[x]));
    }
    // A solid pixel anywhere in reach makes a pixel solid, whatever order the
    // blits come in, and an empty reach leaves it clear. So count, per row, the
    // solid and the inked pixels within B columns (kept for the rows in reach)
    // and sum them over the rows in reach. Only a pixel that reaches ink but no
    // solid pixel, a thin rim on the outside of the border, replays the blits.
    const auto slot = [&](int r) { return size_t(r % span) * w; };
    const auto addRow = [&](int r, int sign) {
        uchar* s = &solidRows[slot(r)];
        uchar* k = &inkRows[slot(r)];
        if (sign > 0) {
            const uchar* a = &alpha[size_t(r) * w];
            int solidRun = 0, inkRun = 0;
            for (int c = 0; c < std::min(B, w); ++c) {
                solidRun += a[c] == 255;
                inkRun += a[c] != 0;
            }
            for (int x = 0; x < w; ++x) {
                if (x + B < w) {
                    solidRun += a[x + B] == 255;
                    inkRun += a[x + B] != 0;
                }
                if (x - B - 1 >= 0) {
                    solidRun -= a[x - B - 1] == 255;
                    inkRun -= a[x - B - 1] != 0;
                }
                s[x] = uchar(solidRun);
                k[x] = uchar(inkRun);
            }
        }
        for (int x = 0; x < w; ++x) {
            solid[x] += sign * s[x];
            ink[x] += sign * k[x];
        }
    };
    // The blit at (dx, dy) puts the source pixel (x - dx, y - dy) over (x, y):
    // sources come from the bottom row of reach upwards, right to left.
    const auto replay = [&](int x, int y) {
        uint d = 0;
        for (int r = std::min(y + B, h - 1); r >= std::max(y - B, 0); --r) {
            const uchar* a = &alpha[size_t(r) * w];
            int left = inkRows[slot(r) + x];
            for (int c = std::min(x + B, w - 1); left > 0; --c)
                if (a[c]) {
                    d = over(d, a[c]);
                    --left;
                }
        }
        return d;
    };
    for (int r = 0; r < std::min(B, h); ++r)
        addRow(r, 1);
    for (int y = 0; y < h; ++y) {
        if (y - B - 1 >= 0)
            addRow(y - B - 1, -1);
        if (y + B < h)
            addRow(y + B, 1);
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = (solid[x] ? 255u : ink[x] ? replay(x, y) : 0u) * 0x01010101u;
    }
    return true;
}

} // namespace atlasfile
