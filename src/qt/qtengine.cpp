#include "qtengine.h"

#include "centregradient_p.h"
#include "textplacement_p.h"
#include "uniimg.h"
#include "uniscreen.h"
#include "visiblepart_p.h"
#include "yuvscaler_p.h"
#include "uniyuvframe.h"

#include <QPainter>
#include <QRectF>
#include <QWidget>

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

using UniFontMapNS::spanOf;

// QPainter works in floats rounded to int: past this it loses whole pixels,
// and past the int range it overflows. A rectangle reaching further is cut to
// the device in 64 bits first; a nearer one goes to the painter as it is,
// with whatever the painter makes of left > right or top > bottom.
const qint64 kFar = qint64(1) << 24;

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) void zeroUpperHalves()
{
    _mm256_zeroupper();
}
#endif

// Qt's solid fills are AVX code that leaves the upper halves of the vector
// registers in use, and its image scaling is older SSE code: until something
// clears those halves, every SSE instruction after a fill pays for the mixed
// state, and a picture drawn after an outline takes nearly twice as long.
void afterSolidFill()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        zeroUpperHalves();
#endif
}

bool isScreen(cUniImg* img)
{
    return dynamic_cast<cUniScreen*>(img) != nullptr;
}

// Exact in double for every QRect, where QRect::width() overflows.
QRectF toRectF(QRect const& r)
{
    return QRectF(r.left(), r.top(), spanOf(r.left(), r.right()), spanOf(r.top(), r.bottom()));
}

QSize deviceSize(QPainter const* p)
{
    return QSize(p->device()->width(), p->device()->height());
}

bool reachesFar(QRect const& r)
{
    return std::max({qAbs(qint64(r.left())), qAbs(qint64(r.top())), qAbs(qint64(r.right())),
                     qAbs(qint64(r.bottom()))}) >= kFar;
}

// Whether outer holds every pixel of inner, both valid. Plain comparisons:
// QRect::contains() overflows at the ends of the int range.
bool holds(QRect const& outer, QRect const& inner)
{
    return outer.isValid() && inner.isValid() && outer.left() <= inner.left() && outer.top() <= inner.top()
        && inner.right() <= outer.right() && inner.bottom() <= outer.bottom();
}

// Cuts a target reaching far to the device, and its source in proportion;
// false when nothing of it lies on the device.
bool cutFar(QRectF& target, QRectF& source, QSize size)
{
    const qreal left = std::max<qreal>(target.left(), 0), top = std::max<qreal>(target.top(), 0);
    const qreal right = std::min<qreal>(target.right(), size.width());
    const qreal bottom = std::min<qreal>(target.bottom(), size.height());
    if (left >= right || top >= bottom)
        return false;
    const qreal sx = source.width() / target.width(), sy = source.height() / target.height();
    source = QRectF(source.x() + (left - target.x()) * sx, source.y() + (top - target.y()) * sy,
                    (right - left) * sx, (bottom - top) * sy);
    target = QRectF(left, top, right - left, bottom - top);
    return true;
}

QImage* newTransparentImage(QSize const& size)
{
    QImage* image = new QImage(size, QImage::Format_ARGB32);
    if (!image->isNull())
        image->fill(0);
    return image;
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
        screen->mData = w;
        if (!w || !mPainter->begin(w)) {
            cDorUrizar::endUpdate(img);
            return false;
        }
        mPainter->fillRect(0, 0, w->width(), w->height(), Qt::black);
        afterSolidFill();
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
    afterSolidFill();
}

void cQTEngine::destroyData(cUniImg* img)
{
    if (!img)
        return;
    // A handle destroyed mid-update takes its update with it: the painter
    // must not outlive the image it works on.
    if (img == currentImage()) {
        mPendingClear = false;
        endUpdate(img);
    }
    if (isScreen(img))
        return;
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
    // The update of a resized image goes on in its new image.
    const bool painting = img == currentImage() && mPainter->isActive();
    if (painting) {
        mPendingClear = false;
        mPainter->end();
    }
    delete imageFromData(img->mData);
    img->mData = newTransparentImage(size);
    if (painting && !mPainter->begin(imageFromData(img->mData)))
        cDorUrizar::endUpdate(img);
}

void cQTEngine::drawImage(QRect const& target, QImage const& image, QRect const& sourceRect)
{
    if (!isActive())
        return;
    // The painter reads a colour table unchecked: one missing or too short
    // for the picture's indices is read past its end. Conversion checks it.
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono
        || image.format() == QImage::Format_MonoLSB) {
        drawImage(target, image.convertToFormat(QImage::Format_ARGB32), sourceRect);
        return;
    }
    if (mPendingClear) {
        QImage const* current = imageFromData(currentImage()->mData);
        settlePendingClear(!image.hasAlphaChannel() && holds(image.rect(), sourceRect)
                           && holds(target, current->rect()));
    }
    QRectF to = toRectF(target), from = toRectF(sourceRect);
    if (reachesFar(target) && (!target.isValid() || !cutFar(to, from, deviceSize(mPainter))))
        return;
    mPainter->drawImage(to, image, from, Qt::AutoColor);
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

void cQTEngine::drawImage(QRect const& target, cUniYuvFrame const& source, QRect const& sourceRect)
{
    if (!isActive() || !source.canDraw(sourceRect))
        return;
    if (isScreen(currentImage())) {
        const QRect part = visiblePart(target, deviceSize(mPainter));
        if (part.isEmpty())
            return;
        QImage picture(part.size(), QImage::Format_RGB32);
        if (YuvScaler::draw(source, sourceRect, target,
                            {picture.bits(), picture.bytesPerLine(), part, YuvScaler::Order::Argb}))
            mPainter->drawImage(part.topLeft(), picture);
        return;
    }
    QImage* image = imageFromData(currentImage()->mData);
    settlePendingClear(holds(target, image->rect()));
    YuvScaler::draw(source, sourceRect, target,
                    {image->bits(), image->bytesPerLine(), image->rect(), YuvScaler::Order::Argb});
}

void cQTEngine::fillRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    // Off-screen the colour replaces the pixels, alpha included.
    const bool offScreen = !isScreen(currentImage());
    if (mPendingClear)
        settlePendingClear(holds(rect, imageFromData(currentImage()->mData)->rect()));
    const QRect part = reachesFar(rect) ? visiblePart(rect, deviceSize(mPainter)) : rect;
    if (reachesFar(rect) && part.isEmpty())
        return;
    if (offScreen)
        mPainter->setCompositionMode(QPainter::CompositionMode_Source);
    mPainter->fillRect(part, color);
    if (offScreen)
        mPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    afterSolidFill();
}

void cQTEngine::drawRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    settlePendingClear(false);
    if (!rect.isValid()) {
        if (reachesFar(rect))
            return;
        // Whatever a one-pixel pen on (w - 1) x (h - 1) makes of it.
        mPainter->setPen(QPen(color));
        mPainter->setBrush(Qt::NoBrush);
        const QRect outline(rect.left(), rect.top(), rect.width() - 1, rect.height() - 1);
        mPainter->drawRects(&outline, 1);
        return;
    }
    // The top and bottom rows whole, the sides between them: each border
    // pixel blended once (a pen draws nothing for a 1 x 1 rect), every edge
    // cut to the device.
    const qint64 l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    const QSize size = deviceSize(mPainter);
    const QRect edges[4] = {visiblePart(l, t, r, t, size), b > t ? visiblePart(l, b, r, b, size) : QRect(),
                            visiblePart(l, t + 1, l, b - 1, size),
                            r > l ? visiblePart(r, t + 1, r, b - 1, size) : QRect()};
    for (QRect const& edge : edges)
        if (!edge.isEmpty())
            mPainter->fillRect(edge, color);
    afterSolidFill();
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
    settlePendingClear(holds(rect, image->rect()));
    writeCentreGradient(image->bits(), image->bytesPerLine(), image->size(), rect, c1.rgba(), c2.rgba());
}

void cQTEngine::drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font)
{
    if (!isActive() || rect.left() > rect.right() || rect.top() > rect.bottom())
        return;

    // Each cell carries the glyph's border past its box: 3 x B more to the
    // right and downwards. The next glyph starts one box width on, so the
    // later glyph covers the earlier one's border columns.
    QImage const& atlas = font.image();
    const int grow = 3 * font.border();
    UniFontMapNS::placeGlyphs(rect, flags, text, font, 0, [&](QRect const& box, qint64 x, qint64 y) {
        const QRect source = UniFontMapNS::cellSource(box, grow, grow);
        QRect target;
        if (UniFontMapNS::cellTarget(source, x, y, target))
            drawImage(target, atlas, source);
    });
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
