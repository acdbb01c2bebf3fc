#define GL_GLEXT_PROTOTYPES 1

#include "glengine.h"

#include "glengine_p.h"
#include "glyuvtexture_p.h"
#include "textplacement_p.h"
#include "uniimg.h"

#include <QHash>
#include <QSet>
#include <QVector>

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>

QList<cGLEngine::cUniData*> cGLEngine::mGlobalDataList;

namespace {

// Deeper nesting draws nothing.
const int kMaxChildNesting = 30;
int gChildNesting = 0;

// Where the list being drawn lies: GL unit = origin + scale x list pixel.
// Kept in double, not in GL's float matrices: a child scaled into a target
// reaching far out would have its edges off by whole pixels, up to 128 at
// 2^31, and cover pixels beside its target.
struct Placement {
    double x, y, sx, sy;
};
Placement gPlacement = {0.0, 0.0, 1.0, 1.0};

quint64 gWalkCounter = 0;

// The lists that may hold an item showing an image, filed under the image's
// handle and under its list, so that an image going away visits those lists
// only, not every list there is. An entry may outlive its item (a recycled
// item shows another image): visiting that list then finds nothing to drop.
QHash<void const*, QSet<cGLEngine::cUniData*>> gShowing;
QHash<cGLEngine::cUniData const*, QSet<void const*>> gFiledUnder;  // the reverse
QHash<cGLEngine::cUniData const*, int> gGlobalIndex;                // in mGlobalDataList

void fileShowing(cGLEngine::cUniData* list, cUniImg const* child)
{
    for (void const* key : {static_cast<void const*>(child), static_cast<void const*>(cGLEngine::toUniData(*child))}) {
        if (key) {
            gShowing[key].insert(list);
            gFiledUnder[list].insert(key);
        }
    }
}

// GL clips a quad reaching far past the viewport triangle by triangle, in
// float, and leaves pixels along the viewport's middle uncovered. Quads are
// cut to this distance from the origin first, far beyond any screen.
const double kReach = 1 << 15;

// One interval of a quad cut to [-kReach, kReach], with its texture
// coordinates in proportion; false when nothing of it is left.
bool cut(double& from, double& to, double& texFrom, double& texTo)
{
    const double a = std::max(from, -kReach), b = std::min(to, kReach);
    if (a >= b)
        return false;
    const double perUnit = (texTo - texFrom) / (to - from);
    texFrom += (a - from) * perUnit;
    texTo -= (to - b) * perUnit;
    from = a;
    to = b;
    return true;
}

void quad(QRectF const& r, QRect const& target)
{
    Placement const& p = gPlacement;
    double L = p.x + p.sx * target.left(), R = p.x + p.sx * (qint64(target.right()) + 1);
    double T = p.y + p.sy * target.top(), B = p.y + p.sy * (qint64(target.bottom()) + 1);
    double u0 = r.left(), u1 = r.left() + r.width(), v0 = r.top(), v1 = r.top() + r.height();
    if (!cut(L, R, u0, u1) || !cut(T, B, v0, v1))
        return;
    glBegin(GL_QUADS);
    glTexCoord2d(u0, v0);
    glVertex2d(L, T);
    glTexCoord2d(u1, v0);
    glVertex2d(R, T);
    glTexCoord2d(u1, v1);
    glVertex2d(R, B);
    glTexCoord2d(u0, v1);
    glVertex2d(L, B);
    glEnd();
}

// Index of the first item not yet drawn in this update that fits, or the
// list's size: recycling takes the earliest match, so a repeated frame gets
// its items back in the same order.
// Items above `end` are known to be used and are not looked at.
template <typename Fits>
int firstUnused(QList<cGLEngine::cUniItem*> const& items, int end, Fits fits)
{
    for (int index = 0; index < end; ++index)
        if (!items.at(index)->mUsed && fits(items.at(index)))
            return index;
    return items.size();
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

QSet<cGLEngine::cUniData*> GLEngineNS::takeListsShowing(void const* image)
{
    const QSet<cGLEngine::cUniData*> lists = gShowing.take(image);
    for (cGLEngine::cUniData* list : lists)
        gFiledUnder[list].remove(image);
    return lists;
}

void GLEngineNS::registerList(cGLEngine::cUniData* list)
{
    gGlobalIndex.insert(list, cGLEngine::mGlobalDataList.size());
    cGLEngine::mGlobalDataList.append(list);
}

cGLEngine::cUniItem::cUniItem(bool foreignTexture)
    : mTexture(nullptr)
    , mYuv(nullptr)
    , mChild(nullptr)
    , mUsed(false)
    , mForeignTexture(foreignTexture)
{
}

cGLEngine::cUniItem::~cUniItem()
{
    if (!mForeignTexture)
        delete mTexture;
    delete mYuv;
}

void cGLEngine::cUniItem::draw()
{
    if (mTexture) {
        createQuad(*mTexture, mDstRect, mSrcRect);
        return;
    }
    if (mYuv) {
        // Texture coordinates in frame pixels.
        // Target sides in 64 bits: QRect::width() overflows for a target
        // reaching across the int range.
        using UniFontMapNS::spanOf;
        const bool reduced = gPlacement.sx * spanOf(mDstRect.left(), mDstRect.right()) < mSrcRect.width()
            && gPlacement.sy * spanOf(mDstRect.top(), mDstRect.bottom()) < mSrcRect.height();
        if (mYuv->bind(reduced)) {
            quad(QRectF(mSrcRect), mDstRect);
            mYuv->release();
        }
        return;
    }
    if (!mChild)
        return;
    cUniData* child = toUniData(*mChild);
    const QSize size = mChild->size();
    // A side of zero (or an unsized child) has no finite scale.
    if (!child || size.width() <= 0 || size.height() <= 0 || gChildNesting >= kMaxChildNesting)
        return;
    using UniFontMapNS::spanOf;
    const Placement outer = gPlacement;
    gPlacement = {outer.x + outer.sx * mDstRect.left(), outer.y + outer.sy * mDstRect.top(),
                  outer.sx * spanOf(mDstRect.left(), mDstRect.right()) / size.width(),
                  outer.sy * spanOf(mDstRect.top(), mDstRect.bottom()) / size.height()};
    ++gChildNesting;
    child->drawItems();
    --gChildNesting;
    gPlacement = outer;
}

void cGLEngine::cUniItem::createQuad(cTexture& texture, QRect const& target, QRect const& sourceRect)
{
    const bool filtered = gShadersFound && GLEngineNS::gProgramLinked && GLEngineNS::deinterlaced(texture.imageSize());
    QRectF r = texture.toTextureRect(sourceRect);
    // One texel stretched over a quad (fills and outlines) is sampled at its
    // centre: filtering at the quad's edges would mix in the texels beside
    // it, which a recycled, larger texture leaves as they were.
    if (sourceRect.left() == sourceRect.right() && sourceRect.top() == sourceRect.bottom())
        r = QRectF(r.center(), QSizeF(0, 0));
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
    , mUsedOnTop(0)
    , mLastPlaced(nullptr)
{
}

cGLEngine::cUniData::~cUniData()
{
    for (cUniData* d : GLEngineNS::takeListsShowing(this))
        d->detachChild(this);
    for (void const* key : gFiledUnder.take(this)) {
        auto lists = gShowing.find(key);
        if (lists != gShowing.end() && lists->remove(this) && lists->isEmpty())
            gShowing.erase(lists);
    }
    // The last list takes this one's place.
    const auto at = gGlobalIndex.find(this);
    if (at != gGlobalIndex.end() && mGlobalDataList.value(*at) == this) {
        cUniData* last = mGlobalDataList.takeLast();
        if (last != this)
            gGlobalIndex[mGlobalDataList[*at] = last] = *at;
        gGlobalIndex.erase(at);
    } else {
        mGlobalDataList.removeOne(this);
    }
    eraseItems();
}

void cGLEngine::cUniData::moveToTop(int index)
{
    // Taken out and appended rather than moved, so that recycling from the
    // bottom in drawing order costs the same for any length of list.
    const int last = mItems.size() - 1;
    if (index >= 0 && index < last)
        mItems.append(mItems.takeAt(index));
}

int cGLEngine::cUniData::unusedEnd()
{
    // What the engine records is marked used at once, so the used items
    // gather on top; any other use of the list starts the count again.
    if (mLastPlaced && !mItems.isEmpty() && mItems.last() == mLastPlaced && mLastPlaced->mUsed)
        mUsedOnTop = qMin(mUsedOnTop + 1, mItems.size());
    else
        mUsedOnTop = 0;
    mLastPlaced = nullptr;
    return mItems.size() - mUsedOnTop;
}

cGLEngine::cUniItem* cGLEngine::cUniData::placeOnTop(int index, bool foreignTexture, QRect const& sourceRect,
                                                     QRect const& target)
{
    if (index == mItems.size())
        mItems.append(new cUniItem(foreignTexture));
    cUniItem* item = mItems.at(index);
    moveToTop(index);
    mLastPlaced = item;
    item->mSrcRect = sourceRect;
    item->mDstRect = target;
    return item;
}

cGLEngine::cUniItem* cGLEngine::cUniData::appendItem(cTexture* texture, QRect const& sourceRect,
                                                     QRect const& target)
{
    const int index = firstUnused(mItems, unusedEnd(), [](cUniItem const* i) { return i->mForeignTexture; });
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

    const int index = firstUnused(mItems, unusedEnd(), [](cUniItem const* i) { return i->mChild != nullptr; });
    cUniItem* item = placeOnTop(index, false, sourceRect, target);
    item->mChild = image;
    fileShowing(this, image);
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
    const int index = firstUnused(mItems, unusedEnd(), [image, token](cUniItem const* i) {
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

cGLEngine::cUniItem* cGLEngine::cUniData::appendItem(cUniYuvFrame const* frame, QRect const& sourceRect,
                                                     QRect const& target)
{
    const int index = firstUnused(mItems, unusedEnd(), [](cUniItem const* i) { return i->mYuv != nullptr; });
    cUniItem* item = placeOnTop(index, false, sourceRect, target);
    if (!item->mYuv)
        item->mYuv = new cYuvTexture;
    item->mYuv->setFrame(*frame);
    return item;
}

void cGLEngine::cUniData::moveItemByZOrder(cUniItem* item)
{
    mLastPlaced = nullptr;
    moveToTop(mItems.indexOf(item));
}

void cGLEngine::cUniData::setUse(bool used)
{
    mLastPlaced = nullptr;
    for (cUniItem* item : qAsConst(mItems))
        item->mUsed = used;
}

void cGLEngine::cUniData::eraseUnusedItems()
{
    mLastPlaced = nullptr;
    eraseItemsIf(mItems, [](cUniItem const* i) { return !i->mUsed; });
}

void cGLEngine::cUniData::eraseItems()
{
    mLastPlaced = nullptr;
    qDeleteAll(mItems);
    mItems.clear();
}

void cGLEngine::cUniData::drawItems()
{
    for (cUniItem* item : qAsConst(mItems)) {
        // Items a host put in the list itself are filed once drawn.
        if (item->mChild)
            fileShowing(this, item->mChild);
        item->draw();
    }
}

void cGLEngine::cUniData::detachChild(cUniData* child)
{
    mLastPlaced = nullptr;
    if (child)
        eraseItemsIf(mItems, [child](cUniItem const* i) { return i->mChild && toUniData(*i->mChild) == child; });
}

void cGLEngine::cUniData::detachChild(cUniImg const* child)
{
    mLastPlaced = nullptr;
    if (child)
        eraseItemsIf(mItems, [child](cUniItem const* i) { return i->mChild == child; });
}

bool cGLEngine::cUniData::reaches(cUniData const* target)
{
    // Depth first with a stack of its own: a chain of lists may be far
    // longer than the call stack is deep. Each list is walked once per question.
    const quint64 walk = ++gWalkCounter;
    QVector<cUniData*> pending{this};
    while (!pending.isEmpty()) {
        cUniData* list = pending.takeLast();
        if (list == target)
            return true;
        if (list->mWalk == walk)
            continue;
        list->mWalk = walk;
        for (cUniItem const* item : qAsConst(list->mItems))
            if (cUniData* child = item->mChild ? toUniData(*item->mChild) : nullptr)
                pending.append(child);
    }
    return false;
}
