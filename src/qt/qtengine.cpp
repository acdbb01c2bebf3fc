#include "qtengine.h"

#include "glyphbytes_p.h"
#include "unifontmap.h"
#include "uniimg.h"
#include "uniscreen.h"

#include <QPainter>
#include <QRectF>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

bool isScreen(cUniImg* img)
{
    return dynamic_cast<cUniScreen*>(img) != nullptr;
}

QRectF toRectF(QRect const& r)
{
    return QRectF(r.left(), r.top(), r.width(), r.height());
}

QImage* newTransparentImage(QSize const& size)
{
    QImage* image = new QImage(size, QImage::Format_ARGB32);
    if (!image->isNull())
        image->fill(0);
    return image;
}

// One channel of the gradient blend, 8 fraction bits; >> on a negative
// product is the arithmetic shift the blend wants (a floor division).
inline QRgb blendPixel(QRgb c1, QRgb c2, int k)
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
inline void fillPairs(QRgb* out, int n, QRgb first, QRgb second)
{
    const QRgb pair[2] = {first, second};
    int i = 0;
    for (; i + 1 < n; i += 2)
        std::memcpy(out + i, pair, sizeof pair);
    if (i < n)
        out[i] = first;
}

} // namespace

cQTEngine::cQTEngine()
    : mPainter(new QPainter)
{
}

cQTEngine::~cQTEngine()
{
    delete mPainter;
}

bool cQTEngine::init(QWidget* w)
{
    if (!w)
        return false;
    w->setAttribute(Qt::WA_OpaquePaintEvent, true);
    w->setAttribute(Qt::WA_NoSystemBackground, true);
    return true;
}

bool cQTEngine::isActive()
{
    return cDorUrizar::isActive() && mPainter->isActive();
}

bool cQTEngine::beginUpdate(cUniImg* img)
{
    if (isActive())
        return false;
    if (!cDorUrizar::beginUpdate(img))
        return false;

    if (cUniScreen* screen = dynamic_cast<cUniScreen*>(img)) {
        QWidget* w = screen->widget();
        if (w != screen->mData)
            screen->mData = w;
        if (!w || !mPainter->begin(w)) {
            cDorUrizar::endUpdate(img);
            return false;
        }
        mPainter->fillRect(0, 0, w->width(), w->height(), Qt::black);
        return true;
    }

    if (!img->mData)
        img->mData = newTransparentImage(img->size());
    // begin() refuses a null image, which is what an unsized handle holds.
    if (!mPainter->begin(imageFromData(img->mData))) {
        mPendingClear = false;
        cDorUrizar::endUpdate(img);
        return false;
    }
    return true;
}

bool cQTEngine::endUpdate(cUniImg* img)
{
    if (isActive())
        settlePendingClear(false);
    cDorUrizar::endUpdate(img);
    return mPainter->end();
}

void cQTEngine::settlePendingClear(bool overwritesEveryPixel)
{
    if (!mPendingClear)
        return;
    mPendingClear = false;
    if (overwritesEveryPixel)
        return;
    QImage* image = imageFromData(currentImage()->mData);
    if (!image)
        return;
    mPainter->setCompositionMode(QPainter::CompositionMode_Source);
    mPainter->fillRect(image->rect(), Qt::transparent);
    mPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void cQTEngine::destroyData(cUniImg* img)
{
    if (!img || isScreen(img))
        return;
    if (img == currentImage())
        mPendingClear = false;
    delete imageFromData(img->mData);
    img->mData = nullptr;
}

void cQTEngine::resize(cUniImg* img, QSize const& size)
{
    if (!img || isScreen(img))
        return;
    // Every update starts from transparent pixels. An update of an unchanged
    // size keeps its image and clears it lazily: a video tile whose first call
    // paints a whole opaque picture then costs no clear and no allocation.
    QImage* kept = imageFromData(img->mData);
    if (img == currentImage() && kept && !kept->isNull() && kept->size() == size) {
        mPendingClear = true;
        return;
    }
    delete imageFromData(img->mData);
    img->mData = nullptr;
    img->mData = newTransparentImage(size);
}

void cQTEngine::drawImage(QRect const& target, QImage const& image, QRect const& sourceRect)
{
    if (!isActive())
        return;
    if (mPendingClear) {
        QImage const* current = imageFromData(currentImage()->mData);
        settlePendingClear(!image.hasAlphaChannel() && !sourceRect.isEmpty() && image.rect().contains(sourceRect)
                           && target.contains(current->rect()));
    }
    mPainter->drawImage(toRectF(target), image, toRectF(sourceRect), Qt::AutoColor);
}

void cQTEngine::drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect)
{
    // The screen keeps its widget, not pixels, behind its data.
    if (isScreen(&source))
        return;
    QImage* image = imageFromData(source.mData);
    if (!image)
        return;
    drawImage(target, *image, sourceRect);
}

void cQTEngine::fillRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    // Off-screen the colour replaces the pixels, alpha included.
    const bool offScreen = !isScreen(currentImage());
    if (mPendingClear)
        settlePendingClear(rect.contains(imageFromData(currentImage()->mData)->rect()));
    if (offScreen)
        mPainter->setCompositionMode(QPainter::CompositionMode_Source);
    mPainter->fillRect(rect, color);
    if (offScreen)
        mPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void cQTEngine::drawRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    settlePendingClear(false);
    mPainter->setPen(QPen(color));
    mPainter->setBrush(Qt::NoBrush);
    // A one-pixel pen on (w - 1) x (h - 1) lies exactly on rect's border pixels.
    const QRect outline(rect.left(), rect.top(), rect.width() - 1, rect.height() - 1);
    mPainter->drawRects(&outline, 1);
}

void cQTEngine::drawGradient(QRect const& rect, QColor const& c1, QColor const& c2)
{
    if (!isActive() || rect.left() > rect.right() || rect.top() > rect.bottom())
        return;
    cUniImg* current = currentImage();
    if (isScreen(current))
        return;
    QImage* image = imageFromData(current->mData);
    if (!image || image->isNull())
        return;
    settlePendingClear(rect.contains(image->rect()));

    const int W = rect.width();
    const int H = rect.height();
    // A one-pixel side would divide by zero.
    const int halfW = std::max(W / 2, 1);
    const int halfH = std::max(H / 2, 1);
    const QRgb rgb1 = c1.rgba();
    const QRgb rgb2 = c2.rgba();

    // Only the part inside the image is written; the pattern stays anchored
    // at rect, so a clipped gradient matches the unclipped one pixel for pixel.
    const int x0 = std::max(0, -rect.left());
    const int y0 = std::max(0, -rect.top());
    const int x1 = std::min(W, image->width() - rect.left());
    const int y1 = std::min(H, image->height() - rect.top());
    if (x0 >= x1 || y0 >= y1)
        return;

    // Every blend weight k is 0..256, so the 257 possible colours are made once.
    QRgb blended[257];
    for (int k = 0; k <= 256; ++k)
        blended[k] = blendPixel(rgb1, rgb2, k);

    // Blended pixels sit in columns with W - x odd and rows with H - y odd,
    // with k = 256 - max(a(x), b(y)); everything else is plain c1. Within a
    // blended row, the columns whose a(x) <= b(y) form one central span that
    // takes the row's own colour; outside it a pixel depends on its column
    // only. So one template row per column chunk serves every row, and each
    // row becomes a copy plus a two-pixel pattern fill, at memory speed.
    constexpr int kChunk = 2048;
    QRgb columnTemplate[kChunk];
    uchar* bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    const int centre = W - halfW;  // the column with dx = 0

    for (int chunkStart = x0; chunkStart < x1; chunkStart += kChunk) {
        const int chunkEnd = std::min(x1, chunkStart + kChunk);
        for (int x = chunkStart; x < chunkEnd; ++x) {
            const int k = 256 - (std::abs(x - centre) * 256) / halfW;
            columnTemplate[x - chunkStart] = (W - x) % 2 ? blended[std::max(k, 0)] : rgb1;
        }

        for (int y = y0; y < y1; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(bits + (rect.top() + y) * stride) + rect.left();
            const int b = (std::abs(y + halfH - H) * 256) / halfH;
            if ((H - y) % 2 == 0 || b >= 256) {
                std::fill(row + chunkStart, row + chunkEnd, rgb1);
                continue;
            }
            // a(x) <= b exactly when |x - centre| * 256 < (b + 1) * halfW.
            const qint64 reach = ((b + 1) * qint64(halfW) - 1) / 256;
            const int spanStart = int(std::max<qint64>(chunkStart, centre - reach));
            const int spanEnd = int(std::min<qint64>(chunkEnd, centre + reach + 1));
            if (spanStart >= spanEnd) {
                std::copy(columnTemplate, columnTemplate + (chunkEnd - chunkStart), row + chunkStart);
                continue;
            }
            std::copy(columnTemplate, columnTemplate + (spanStart - chunkStart), row + chunkStart);
            std::copy(columnTemplate + (spanEnd - chunkStart), columnTemplate + (chunkEnd - chunkStart),
                      row + spanEnd);
            const QRgb rowColour = blended[256 - b];
            const QRgb first = (W - spanStart) % 2 ? rowColour : rgb1;
            const QRgb second = (W - spanStart - 1) % 2 ? rowColour : rgb1;
            fillPairs(row + spanStart, spanEnd - spanStart, first, second);
        }
    }
}

void cQTEngine::drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font)
{
    if (!isActive() || rect.left() > rect.right() || rect.top() > rect.bottom())
        return;

    QImage const& atlas = font.image();
    UniFontMapNS::GlyphBytes bytes;
    UniFontMapNS::toGlyphBytes(text, bytes);

    // Glyph boxes come from cache files: sum and place in 64 bits so that
    // hostile widths cannot overflow, and skip cells that leave the int range.
    qint64 textWidth = 0;
    int textHeight = 0;
    for (uchar c : bytes) {
        QRect const& g = font.LetterRect(c);
        textWidth += g.width();
        textHeight = std::max(textHeight, g.height());
    }

    qint64 x = rect.left();
    int y = rect.top();
    if (flags & Qt::AlignBottom)
        y = rect.bottom() - textHeight;
    else if (flags & Qt::AlignVCenter)
        y = rect.top() + rect.height() / 2 - textHeight / 2;
    if (flags & Qt::AlignRight)
        x = rect.right() - textWidth;
    else if (flags & Qt::AlignHCenter)
        x = rect.left() + rect.width() / 2 - textWidth / 2;

    // Each cell carries the glyph's border past its box: 3 x B more to the
    // right and downwards. The next glyph starts one box width on, so the
    // later glyph covers the earlier one's border columns.
    const int grow = 3 * font.border();
    const qint64 intMin = std::numeric_limits<int>::min();
    const qint64 intMax = std::numeric_limits<int>::max();
    for (uchar c : bytes) {
        QRect const& g = font.LetterRect(c);
        QRect source;
        source.setCoords(g.left(), g.top(), g.right() + grow, g.bottom() + grow);
        const qint64 targetRight = x + (qint64(source.right()) - source.left());
        if (x >= intMin && targetRight <= intMax)
            drawImage(QRect(int(x), y, source.width(), source.height()), atlas, source);
        x += g.width();
    }
}

QImage* cQTEngine::imageFromData(void* data)
{
    return static_cast<QImage*>(data);
}

QWidget* cQTEngine::widgetFromData(void* data)
{
    return static_cast<QWidget*>(data);
}

QPaintDevice* cQTEngine::deviceFromData(void* data)
{
    return static_cast<QPaintDevice*>(data);
}

QImage cQTEngine::QImagefromUniImage(cUniImg* img)
{
    if (!img || !img->mData || isScreen(img))
        return QImage();
    if (img == currentImage() && isActive())
        settlePendingClear(false);
    return *imageFromData(img->mData);
}
