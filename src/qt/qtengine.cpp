#include "qtengine.h"

#include "centregradient_p.h"
#include "textplacement_p.h"
#include "uniimg.h"
#include "uniscreen.h"

#include <QPainter>
#include <QRectF>
#include <QWidget>

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
