#include "uniimg.h"

#include "dorurizar.h"

cDorUrizar* cUniImg::mCurrentEngine = nullptr;

cUniImg::cUniImg(cDorUrizar* engine)
    : mData(nullptr)
    , mEngine(engine)
    , mSize(-1, -1)
{
}

cUniImg::~cUniImg()
{
    if (cDorUrizar* e = currentEngine())
        e->destroyData(this);
}

cDorUrizar* cUniImg::switchEngine(cDorUrizar* e)
{
    if (!e)
        return nullptr;
    cDorUrizar* previous = mCurrentEngine;
    mCurrentEngine = e;
    return previous;
}

cDorUrizar* cUniImg::currentEngine() const
{
    return mEngine ? mEngine : mCurrentEngine;
}

QRect cUniImg::rect() const
{
    return QRect(0, 0, mSize.width(), mSize.height());
}

QSize cUniImg::size() const
{
    return mSize;
}

void cUniImg::resize(QSize const& s)
{
    // The engine sees the old size through size() while it adapts its data.
    if (cDorUrizar* e = currentEngine())
        e->resize(this, s);
    mSize = s;
}

void cUniImg::resize(int w, int h)
{
    resize(QSize(w, h));
}

bool cUniImg::beginUpdate()
{
    cDorUrizar* e = currentEngine();
    return e ? e->beginUpdate(this) : false;
}

bool cUniImg::endUpdate()
{
    cDorUrizar* e = currentEngine();
    return e ? e->endUpdate(this) : false;
}

void cUniImg::update()
{
}

void cUniImg::drawImage(QRect const& target, QImage const& image, QRect const& sourceRect)
{
    if (cDorUrizar* e = currentEngine())
        e->drawImage(target, image, sourceRect);
}

void cUniImg::drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect)
{
    if (cDorUrizar* e = currentEngine())
        e->drawImage(target, source, sourceRect);
}

void cUniImg::drawImage(QRect const& target, cUniYuvFrame const& frame, QRect const& sourceRect)
{
    if (cDorUrizar* e = currentEngine())
        e->drawImage(target, frame, sourceRect);
}

void cUniImg::drawImage(QRect const& target, cUniImg& source)
{
    if (cDorUrizar* e = currentEngine())
        e->drawImage(target, source, source.rect());
}

void cUniImg::fillRect(QRect const& rect, QColor const& color)
{
    if (cDorUrizar* e = currentEngine())
        e->fillRect(rect, color);
}

void cUniImg::drawRect(QRect const& rect, QColor const& color)
{
    if (cDorUrizar* e = currentEngine())
        e->drawRect(rect, color);
}

void cUniImg::drawGradient(QRect const& rect, QColor const& c1, QColor const& c2)
{
    if (cDorUrizar* e = currentEngine())
        e->drawGradient(rect, c1, c2);
}

void cUniImg::drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font)
{
    if (cDorUrizar* e = currentEngine())
        e->drawText(rect, flags, text, font);
}
