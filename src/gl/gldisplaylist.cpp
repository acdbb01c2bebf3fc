#define GL_GLEXT_PROTOTYPES 1

#include "glengine.h"

#include "glengine_p.h"
#include "uniimg.h"

#include <GL/gl.h>
#include <GL/glext.h>

QList<cGLEngine::cUniData*> cGLEngine::mGlobalDataList;

namespace {

// The modelview stack holds at least 32 matrices; deeper nesting would
// overflow it and draw children with the wrong transformation.
const int kMaxChildNesting = 30;
int gChildNesting = 0;

quint64 gWalkCounter = 0;

bool deinterlaced(QSize const& s)
{
    return s.height() == 576 && (s.width() == 704 || s.width() == 960);
}

void quad(QRectF const& r, QRect const& target)
{
    const float L = float(target.left());
    const float T = float(target.top());
    const float R = float(target.right() + 1);
    const float B = float(target.bottom() + 1);
    glBegin(GL_QUADS);
    glTexCoord2d(r.x(), r.y());
    glVertex2f(L, T);
    glTexCoord2d(r.x() + r.width(), r.y());
    glVertex2f(R, T);
    glTexCoord2d(r.x() + r.width(), r.y() + r.height());
    glVertex2f(R, B);
    glTexCoord2d(r.x(), r.y() + r.height());
    glVertex2f(L, B);
    glEnd();
}

// Index of the first item not yet drawn in this update that fits, or the
// list's size: recycling takes the earliest match, so a repeated frame gets
// its items back in the same order.
template <typename Fits>
int firstUnused(QList<cGLEngine::cUniItem*> const& items, Fits fits)
{
    const int count = items.size();
    for (int index = 0; index < count; ++index)
        if (!items.at(index)->mUsed && fits(items.at(index)))
            return index;
    return count;
}

// Deletes the items that doomed() picks; the rest keep their order.
template <typename Doomed>
void eraseItemsIf(QList<cGLEngine::cUniItem*>& items, Doomed doomed)
{
    int kept = 0;
    const int count = items.size();
    for (int i = 0; i < count; ++i) {
        cGLEngine::cUniItem* item = items.at(i);
        if (doomed(item))
            delete item;
        else
            items[kept++] = item;
    }
    items.erase(items.begin() + kept, items.end());
}

} // namespace

cGLEngine::cUniItem::cUniItem(bool foreignTexture)
    : mTexture(nullptr)
    , mChild(nullptr)
    , mUsed(false)
    , mForeignTexture(foreignTexture)
{
}

cGLEngine::cUniItem::~cUniItem()
{
    if (!mForeignTexture)
        delete mTexture;
}

void cGLEngine::cUniItem::draw()
{
    if (mTexture) {
        createQuad(*mTexture, mDstRect, mSrcRect);
        return;
    }
    if (!mChild)
        return;
    cUniData* child = toUniData(*mChild);
    const QSize size = mChild->size();
    // A side of zero (or an unsized child) has no finite scale.
    if (!child || size.width() <= 0 || size.height() <= 0 || gChildNesting >= kMaxChildNesting)
        return;
    ++gChildNesting;
    glPushMatrix();
    glTranslated(mDstRect.left(), mDstRect.top(), 0.0);
    glScalef(float(double(mDstRect.width()) / size.width()), float(double(mDstRect.height()) / size.height()),
             0.0f);
    child->drawItems();
    glPopMatrix();
    --gChildNesting;
}

void cGLEngine::cUniItem::createQuad(cTexture& texture, QRect const& target, QRect const& sourceRect)
{
    const bool filtered = gShadersFound && GLEngineNS::gProgramLinked && deinterlaced(texture.imageSize());
    const QRectF r = texture.toTextureRect(sourceRect);
    if (filtered) {
        glUseProgram(gShaders.program);
        glUniform1f(GLEngineNS::gOnePerHeight, float(texture.mTexelHeight));
    }
    glBindTexture(GL_TEXTURE_2D, texture.textureId());
    if (texture.accelerated()) {
        texture.acceleratedBind();
        glDisable(GL_BLEND);
        quad(r, target);
        glEnable(GL_BLEND);
        glBindTexture(GL_TEXTURE_RECTANGLE_ARB, 0);
    } else {
        quad(r, target);
    }
    if (filtered)
        glUseProgram(0);
}

// ---------------------------------------------------------------- cUniData

cGLEngine::cUniData::cUniData()
    : mWalk(0)
{
}

cGLEngine::cUniData::~cUniData()
{
    for (cUniData* d : qAsConst(mGlobalDataList))
        d->detachChild(this);
    mGlobalDataList.removeOne(this);
    eraseItems();
}

void cGLEngine::cUniData::moveToTop(int index)
{
    const int last = mItems.size() - 1;
    if (index >= 0 && index < last)
        mItems.move(index, last);
}

cGLEngine::cUniItem* cGLEngine::cUniData::placeOnTop(int index, bool foreignTexture, QRect const& sourceRect,
                                                     QRect const& target)
{
    if (index == mItems.size())
        mItems.append(new cUniItem(foreignTexture));
    cUniItem* item = mItems.at(index);
    moveToTop(index);
    item->mSrcRect = sourceRect;
    item->mDstRect = target;
    return item;
}

cGLEngine::cUniItem* cGLEngine::cUniData::appendItem(cTexture* texture, QRect const& sourceRect,
                                                     QRect const& target)
{
    const int index = firstUnused(mItems, [](cUniItem const* i) { return i->mForeignTexture; });
    cUniItem* item = placeOnTop(index, true, sourceRect, target);
    item->mTexture = texture;
    return item;
}

cGLEngine::cUniItem* cGLEngine::cUniData::appendItem(cUniImg const* image, QRect const& sourceRect,
                                                     QRect const& target)
{
    if (!image)
        return nullptr;
    // Presentation walks child lists recursively; an image that contains
    // itself would never finish.
    if (cUniData* childData = toUniData(*image))
        if (childData->reaches(this))
            return nullptr;

    const int index = firstUnused(mItems, [](cUniItem const* i) { return i->mChild != nullptr; });
    cUniItem* item = placeOnTop(index, false, sourceRect, target);
    item->mChild = image;
    return item;
}

cGLEngine::cUniItem* cGLEngine::cUniData::appendItem(QImage const* image, QRect const& sourceRect,
                                                     QRect const& target)
{
    if (!image)
        return nullptr;
    // Tokens and pictures never share a texture: an accelerated texture stays
    // accelerated and would call a picture's first pixels as its callback.
    const bool token = image->format() == QImage::Format_Mono;
    const int index = firstUnused(mItems, [image, token](cUniItem const* i) {
        if (!i->mTexture || i->mForeignTexture)
            return false;
        QSize const s = i->mTexture->textureSize();
        return s.width() >= image->width() && s.height() >= image->height() && i->mTexture->accelerated() == token;
    });
    cUniItem* item = placeOnTop(index, false, sourceRect, target);
    if (item->mTexture)
        item->mTexture->setImage(*image);
    else
        item->mTexture = new cTexture(*image);
    return item;
}

void cGLEngine::cUniData::moveItemByZOrder(cUniItem* item)
{
    moveToTop(mItems.indexOf(item));
}

void cGLEngine::cUniData::setUse(bool used)
{
    for (cUniItem* item : qAsConst(mItems))
        item->mUsed = used;
}

void cGLEngine::cUniData::eraseUnusedItems()
{
    eraseItemsIf(mItems, [](cUniItem const* i) { return !i->mUsed; });
}

void cGLEngine::cUniData::eraseItems()
{
    qDeleteAll(mItems);
    mItems.clear();
}

void cGLEngine::cUniData::drawItems()
{
    for (cUniItem* item : qAsConst(mItems))
        item->draw();
}

void cGLEngine::cUniData::detachChild(cUniData* child)
{
    if (child)
        eraseItemsIf(mItems, [child](cUniItem const* i) { return i->mChild && toUniData(*i->mChild) == child; });
}

void cGLEngine::cUniData::detachChild(cUniImg const* child)
{
    if (child)
        eraseItemsIf(mItems, [child](cUniItem const* i) { return i->mChild == child; });
}

bool cGLEngine::cUniData::reaches(cUniData const* target)
{
    return reaches(target, ++gWalkCounter);
}

bool cGLEngine::cUniData::reaches(cUniData const* target, quint64 walk)
{
    if (this == target)
        return true;
    // Lists shared by several parents are walked once per question.
    if (mWalk == walk)
        return false;
    mWalk = walk;
    for (cUniItem const* item : qAsConst(mItems)) {
        if (!item->mChild)
            continue;
        cUniData* child = toUniData(*item->mChild);
        if (child && child->reaches(target, walk))
            return true;
    }
    return false;
}
