#define GL_GLEXT_PROTOTYPES 1

#include "glengine.h"

#include "centregradient_p.h"
#include "glyphbytes_p.h"

#include "unifontmap.h"
#include "uniimg.h"
#include "uniscreen.h"

#include <QGLWidget>
#include <QMutexLocker>

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

bool gShadersFound = true;

char const* gSimpleVertexShader =
    "varying vec2 texture_coordinate;\n"
    "void main() {\n"
    "gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;texture_coordinate = vec2(gl_MultiTexCoord0);}";

char const* gDeinterlaceFragmentShader =
    "varying vec2 texture_coordinate; uniform sampler2D my_color_texture; uniform float one_per_height;\n"
    "void main() {vec4 u_c = texture2D(my_color_texture, texture_coordinate - vec2(0, one_per_height));\n"
    "vec4 c_c = texture2D(my_color_texture, texture_coordinate);\n"
    "vec4 d_c = texture2D(my_color_texture, texture_coordinate + vec2(0, one_per_height));\n"
    "gl_FragColor = u_c / 4 + c_c / 2 + d_c / 4;}";

glengine_shaders gShaders = {0, 0, 0};

QList<cGLEngine::cUniData*> cGLEngine::mGlobalDataList;

namespace {

// Set by init() only when both shaders compiled and the program linked.
bool gProgramLinked = false;
GLint gOnePerHeight = -1;

// The modelview stack holds at least 32 matrices; deeper nesting would
// overflow it and draw children with the wrong transformation.
const int kMaxChildNesting = 30;
int gChildNesting = 0;

quint64 gWalkCounter = 0;

bool isScreen(cUniImg const* image)
{
    return dynamic_cast<cUniScreen const*>(image) != nullptr;
}

bool deinterlaced(QSize const& s)
{
    return s.height() == 576 && (s.width() == 704 || s.width() == 960);
}

bool isUploadable32(QImage::Format f)
{
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

bool allOpaque(QImage const& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] & 0xff000000u) != 0xff000000u)
                return false;
    }
    return true;
}

bool samePixels(QImage const& a, QImage const& b)
{
    const int rowBytes = a.width() * 4;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(rowBytes)) != 0)
            return false;
    return true;
}

void copyPixels(QImage const& from, QImage& to)
{
    const int rowBytes = from.width() * 4;
    for (int y = 0; y < from.height(); ++y)
        std::memcpy(to.scanLine(y), from.constScanLine(y), size_t(rowBytes));
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

GLuint compileShader(GLenum type, char const* source, bool* ok)
{
    // The sources use GLSL 1.20's implicit int-to-float conversion
    // (u_c / 4), which a strict 1.10 compiler rejects.
    static char const version[] = "#version 120\n";
    GLuint shader = glCreateShader(type);
    char const* strings[2] = {version, source};
    glShaderSource(shader, 2, strings, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    *ok = shader != 0 && status == GL_TRUE;
    return shader;
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

// The recycled item at index, or a new one appended when index is the size.
cGLEngine::cUniItem* itemAt(QList<cGLEngine::cUniItem*>& items, int index, bool foreignTexture)
{
    if (index < items.size())
        return items.at(index);
    cGLEngine::cUniItem* item = new cGLEngine::cUniItem(foreignTexture);
    items.append(item);
    return item;
}

} // namespace

unsigned int nSize(unsigned int n)
{
    if (n <= 1)
        return 1;
    // Smears the highest set bit of n - 1 downwards; 0 when the answer does
    // not fit (n above 2^31).
    unsigned int p = n - 1;
    p |= p >> 1;
    p |= p >> 2;
    p |= p >> 4;
    p |= p >> 8;
    p |= p >> 16;
    return p + 1;
}

// ---------------------------------------------------------------- cTexture

cGLEngine::cTexture::cTexture(QImage const& image)
    : mImageSize(-1, -1)
    , mTextureSize(-1, -1)
    , mTextureId(0)
    , mTexelWidth(0.0)
    , mTexelHeight(0.0)
    , mHasAlpha(false)
    , mAccelerated(false)
{
    setImage(image);
}

cGLEngine::cTexture::~cTexture()
{
    glDeleteTextures(1, &mTextureId);
}

// The engine's one-pixel fill image is rewritten at every fill; a texture that
// shared it would make the next fill detach (allocate) it. Tiny images are
// therefore copied, not shared.
bool cGLEngine::cTexture::keepsOwnCopy(QImage const& image) const
{
    return !image.isNull() && image.depth() == 32 && qint64(image.width()) * image.height() <= 64;
}

GLuint cGLEngine::cTexture::setImage(QImage const& image)
{
    bool unchanged = false;
    if (keepsOwnCopy(image)) {
        if (mSrcImage.isDetached() && mSrcImage.size() == image.size() && mSrcImage.format() == image.format()) {
            unchanged = samePixels(mSrcImage, image);
            if (!unchanged)
                copyPixels(image, mSrcImage);
        } else {
            mSrcImage = image.copy();
        }
    } else {
        mSrcImage = image;
    }
    mImageSize = image.size();
    if (image.format() == QImage::Format_Mono)
        mAccelerated = true;

    if (image.width() > mTextureSize.width() || image.height() > mTextureSize.height()) {
        resize(image.size());
        unchanged = false;
    }
    if (mAccelerated || unchanged)
        return mTextureId;

    mHasAlpha = image.hasAlphaChannel();

    // The upload reads 32-bit BGRA words; anything else would be read past
    // its end.
    QImage converted;
    QImage const* pixels = &image;
    if (!isUploadable32(image.format())) {
        converted = image.convertToFormat(QImage::Format_ARGB32);
        pixels = &converted;
    } else if (!mHasAlpha && !allOpaque(image)) {
        // Opaque formats may carry anything in their alpha byte; make it
        // 0xff in the caller's image (Qt detaches it from mSrcImage first).
        QImage& writable = const_cast<QImage&>(image);
        for (int y = 0; y < writable.height(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(writable.scanLine(y));
            for (int x = 0; x < writable.width(); ++x)
                row[x] |= 0xff000000u;
        }
    }
    if (pixels->isNull())
        return mTextureId;

    glBindTexture(GL_TEXTURE_2D, mTextureId);
    const int rowLength = int(pixels->bytesPerLine() / 4);
    if (rowLength != pixels->width())
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    // The same bytes as GL_UNSIGNED_BYTE on a little-endian machine, and
    // Mesa's fast path.
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, pixels->width(), pixels->height(), GL_BGRA,
                    GL_UNSIGNED_INT_8_8_8_8_REV, pixels->constBits());
    if (rowLength != pixels->width())
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return mTextureId;
}

void cGLEngine::cTexture::resize(QSize const& size)
{
    if (mTextureId != 0)
        glDeleteTextures(1, &mTextureId);
    glGenTextures(1, &mTextureId);
    glBindTexture(GL_TEXTURE_2D, mTextureId);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    if (mAccelerated) {
        mTextureSize = size;
    } else {
        mTextureSize = QSize(int(nSize(unsigned(std::max(size.width(), 0)))),
                             int(nSize(unsigned(std::max(size.height(), 0)))));
        // Storage given with the upload's own format and type: Mesa then
        // keeps BGRA texels and every upload is a plain copy. Storage copied
        // from the frame buffer (glCopyTexImage2D) took its layout from the
        // frame buffer and made each 704 x 576 upload swizzle, three times
        // slower. Texels outside the image are left undefined either way.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, mTextureSize.width(), mTextureSize.height(), 0, GL_BGRA,
                     GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    }
    mTexelWidth = 1.0 / std::max(mTextureSize.width(), 1);
    mTexelHeight = 1.0 / std::max(mTextureSize.height(), 1);
}

QRectF cGLEngine::cTexture::toTextureRect(QRect const& r) const
{
    return QRectF(r.left() * mTexelWidth, r.top() * mTexelHeight, r.width() * mTexelWidth,
                  r.height() * mTexelHeight);
}

void cGLEngine::cTexture::acceleratedBind() const
{
    // Only a token holds a callback; the bytes of anything else, or of a
    // token too small to hold a pointer, must never be called.
    if (!mAccelerated || mSrcImage.format() != QImage::Format_Mono
        || mSrcImage.sizeInBytes() < qsizetype(sizeof(glengine_bind)))
        return;
    uchar const* data = mSrcImage.constBits();
    glengine_bind bind = nullptr;
    std::memcpy(&bind, data, sizeof bind);
    if (bind)
        bind(const_cast<uchar*>(data), 0);
}

// ---------------------------------------------------------------- cUniItem

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
    const bool filtered = gShadersFound && gProgramLinked && deinterlaced(texture.imageSize());
    const QRectF r = texture.toTextureRect(sourceRect);
    if (filtered) {
        glUseProgram(gShaders.program);
        glUniform1f(gOnePerHeight, float(texture.mTexelHeight));
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

cGLEngine::cUniItem* cGLEngine::cUniData::appendItem(cTexture* texture, QRect const& sourceRect,
                                                     QRect const& target)
{
    const int index = firstUnused(mItems, [](cUniItem const* i) { return i->mForeignTexture; });
    cUniItem* item = itemAt(mItems, index, true);
    item->mSrcRect = sourceRect;
    item->mDstRect = target;
    item->mTexture = texture;
    moveToTop(index);
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
    cUniItem* item = itemAt(mItems, index, false);
    item->mSrcRect = sourceRect;
    item->mDstRect = target;
    item->mChild = image;
    moveToTop(index);
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
    cUniItem* item = itemAt(mItems, index, false);
    if (item->mTexture)
        item->mTexture->setImage(*image);
    else
        item->mTexture = new cTexture(*image);
    item->mSrcRect = sourceRect;
    item->mDstRect = target;
    moveToTop(index);
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
    int kept = 0;
    const int count = mItems.size();
    for (int i = 0; i < count; ++i) {
        cUniItem* item = mItems.at(i);
        if (item->mUsed)
            mItems[kept++] = item;
        else
            delete item;
    }
    mItems.erase(mItems.begin() + kept, mItems.end());
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
    if (!child)
        return;
    int kept = 0;
    const int count = mItems.size();
    for (int i = 0; i < count; ++i) {
        cUniItem* item = mItems.at(i);
        if (item->mChild && toUniData(*item->mChild) == child)
            delete item;
        else
            mItems[kept++] = item;
    }
    mItems.erase(mItems.begin() + kept, mItems.end());
}

void cGLEngine::cUniData::detachChild(cUniImg const* child)
{
    if (!child)
        return;
    int kept = 0;
    const int count = mItems.size();
    for (int i = 0; i < count; ++i) {
        cUniItem* item = mItems.at(i);
        if (item->mChild == child)
            delete item;
        else
            mItems[kept++] = item;
    }
    mItems.erase(mItems.begin() + kept, mItems.end());
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

// ---------------------------------------------------------------- cGLEngine

cGLEngine::cGLEngine()
    : mGLWidget(nullptr)
    , mMutex(QMutex::Recursive)
    , mTexel(1, 1, QImage::Format_ARGB32)
{
}

cGLEngine::~cGLEngine()
{
    mGLWidget = nullptr;
    qDeleteAll(mTextures);
    mTextures.clear();
}

cGLEngine::cUniData* cGLEngine::toUniData(cUniImg const& image)
{
    return static_cast<cUniData*>(image.mData);
}

QGLWidget* cGLEngine::widget()
{
    if (!mWidgetGuard)
        mGLWidget = nullptr;
    return mGLWidget;
}

void cGLEngine::makeContextCurrent()
{
    QGLWidget* w = widget();
    if (w && QGLContext::currentContext() != w->context())
        w->makeCurrent();
}

bool cGLEngine::init(QWidget* widget)
{
    QMutexLocker lock(&mMutex);
    QGLWidget* gl = qobject_cast<QGLWidget*>(widget);
    if (!gl)
        return false;
    gl->updateGL();
    mGLWidget = gl;
    mWidgetGuard = gl;
    // updateGL() leaves the context current only for a shown widget.
    makeContextCurrent();

    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    static const int ctxType = qRegisterMetaType<glengine_ctx>("glengine_ctx");
    Q_UNUSED(ctxType);
    glengine_ctx ctx;
    ctx.mutex = &mMutex;
    emit sigAccelerateMe(QVariant::fromValue(ctx));

    if (gShadersFound)
        buildShaders();
    return true;
}

void cGLEngine::buildShaders()
{
    if (!gSimpleVertexShader || !gDeinterlaceFragmentShader)
        return;
    bool vertexOk = false;
    bool fragmentOk = false;
    gShaders.vertexShader = compileShader(GL_VERTEX_SHADER, gSimpleVertexShader, &vertexOk);
    gShaders.fragmentShader = compileShader(GL_FRAGMENT_SHADER, gDeinterlaceFragmentShader, &fragmentOk);
    gShaders.program = glCreateProgram();
    glAttachShader(gShaders.program, gShaders.vertexShader);
    glAttachShader(gShaders.program, gShaders.fragmentShader);
    glLinkProgram(gShaders.program);
    GLint linked = GL_FALSE;
    glGetProgramiv(gShaders.program, GL_LINK_STATUS, &linked);
    // Quads fall back to the fixed pipeline unless the program is usable.
    gProgramLinked = vertexOk && fragmentOk && gShaders.program != 0 && linked == GL_TRUE;
    gOnePerHeight = gProgramLinked ? glGetUniformLocation(gShaders.program, "one_per_height") : -1;
}

bool cGLEngine::beginUpdate(cUniImg* image)
{
    cDorUrizar::beginUpdate(image);
    if (!isActive())
        return false;
    QMutexLocker lock(&mMutex);
    makeContextCurrent();
    cUniData* data = toUniData(*image);
    if (!data) {
        data = new cUniData;
        image->mData = data;
        mGlobalDataList.append(data);
    }
    data->setUse(false);
    return true;
}

bool cGLEngine::endUpdate(cUniImg* image)
{
    if (!isActive())
        return false;
    QMutexLocker lock(&mMutex);
    cUniData* data = image ? toUniData(*image) : nullptr;
    if (data)
        data->eraseUnusedItems();
    if (isScreen(image) && widget()) {
        makeContextCurrent();
        mGLWidget->qglClearColor(QColor(Qt::black));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (data)
            data->drawItems();
        // updateGL() would run paintGL() first, and Qt 5's default paintGL()
        // clears the frame just drawn; present it the way updateGL() does
        // once paintGL() has run.
        if (mGLWidget->updatesEnabled() && mGLWidget->testAttribute(Qt::WA_Mapped)) {
            if (mGLWidget->doubleBuffer())
                mGLWidget->swapBuffers();
            else
                glFlush();
        }
    }
    cDorUrizar::endUpdate(image);
    return true;
}

void cGLEngine::resize(cUniImg* image, QSize const& size)
{
    if (!image || size == image->size())
        return;
    QMutexLocker lock(&mMutex);
    cDorUrizar::resize(image, size);
    cUniScreen* screen = dynamic_cast<cUniScreen*>(image);
    QGLWidget* g = screen ? qobject_cast<QGLWidget*>(screen->widget()) : nullptr;
    if (!g)
        return;
    if (QGLContext::currentContext() != g->context())
        g->makeCurrent();
    glViewport(0, 0, g->width(), g->height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, g->width(), g->height(), 0, -9999, 9999);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void cGLEngine::destroyData(cUniImg* image)
{
    if (!image)
        return;
    QMutexLocker lock(&mMutex);
    makeContextCurrent();
    // An image that never had data reaches no list through its own
    // destructor, yet parents may still hold items pointing at the handle.
    for (cUniData* d : qAsConst(mGlobalDataList))
        d->detachChild(image);
    if (cUniData* data = toUniData(*image)) {
        delete data;
        image->mData = nullptr;
    }
    if (image == currentImage())
        cDorUrizar::endUpdate(image);
}

void cGLEngine::drawImage(QRect const& target, QImage const& source, QRect const& sourceRect)
{
    if (!isActive())
        return;
    QMutexLocker lock(&mMutex);
    cUniData* data = toUniData(*currentImage());
    if (!data)
        return;
    if (cUniItem* item = data->appendItem(&source, sourceRect, target))
        item->mUsed = true;
}

void cGLEngine::drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect)
{
    if (!isActive())
        return;
    QMutexLocker lock(&mMutex);
    cUniData* data = toUniData(*currentImage());
    if (!data)
        return;
    if (cUniItem* item = data->appendItem(&source, sourceRect, target))
        item->mUsed = true;
}

void cGLEngine::fillRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    QMutexLocker lock(&mMutex);
    cUniData* data = toUniData(*currentImage());
    if (!data)
        return;
    mTexel.fill(color.rgba());
    if (cUniItem* item = data->appendItem(&mTexel, QRect(0, 0, 1, 1), rect))
        item->mUsed = true;
}

void cGLEngine::drawRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    QMutexLocker lock(&mMutex);
    cUniData* data = toUniData(*currentImage());
    if (!data || rect.width() <= 0 || rect.height() <= 0)
        return;
    mTexel.fill(color.rgba());
    const QRect texel(0, 0, 1, 1);
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.right();
    const int b = rect.bottom();
    // Corners belong to the left and right edges. In a one-pixel-wide or
    // -high outline edges would coincide; each pixel is still blended once.
    QRect edges[4];
    int count = 0;
    if (r - l >= 1) {
        edges[count++] = QRect(QPoint(l + 1, t), QPoint(r - 1, t));
        if (b > t)
            edges[count++] = QRect(QPoint(l + 1, b), QPoint(r - 1, b));
    }
    edges[count++] = QRect(QPoint(l, t), QPoint(l, b));
    if (r > l)
        edges[count++] = QRect(QPoint(r, t), QPoint(r, b));
    for (int i = 0; i < count; ++i)
        if (cUniItem* item = data->appendItem(&mTexel, texel, edges[i]))
            item->mUsed = true;
}

void cGLEngine::drawGradient(QRect const& rect, QColor const& c1, QColor const& c2)
{
    if (!isActive())
        return;
    QMutexLocker lock(&mMutex);
    cUniData* data = toUniData(*currentImage());
    if (!data || rect.width() < 0 || rect.height() < 0)
        return;

    QImage buffer(currentImage()->size(), QImage::Format_ARGB32);
    if (!buffer.isNull())
        writeCentreGradient(buffer.bits(), buffer.bytesPerLine(), buffer.size(), rect, c1.rgba(), c2.rgba());
    if (cUniItem* item = data->appendItem(&buffer, rect, rect))
        item->mUsed = true;
}

void cGLEngine::drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font)
{
    if (!isActive())
        return;
    QMutexLocker lock(&mMutex);
    cUniData* data = toUniData(*currentImage());
    if (!data)
        return;

    // An atlas image never moves nor changes, so its address keys its texture.
    QImage const& atlas = font.image();
    cTexture*& texture = mTextures[&atlas];
    if (!texture)
        texture = new cTexture(atlas);

    UniFontMapNS::GlyphBytes bytes;
    UniFontMapNS::toGlyphBytes(text, bytes);

    // Measured and placed in 64 bits: boxes from a cache file may be huge,
    // and a sum of them must not wrap into a plausible position.
    const int border = font.border();
    qint64 textWidth = 0;
    qint64 textHeight = 0;
    for (uchar b : bytes) {
        QRect const& g = font.LetterRect(b);
        textWidth += qint64(g.width()) + border;
        textHeight = std::max<qint64>(textHeight, g.height());
    }

    qint64 x = rect.left();
    qint64 y = rect.top();
    if (flags & Qt::AlignBottom)
        y = rect.bottom() - textHeight;
    else if (flags & Qt::AlignVCenter)
        y = rect.top() + rect.height() / 2 - textHeight / 2;
    if (flags & Qt::AlignRight)
        x = rect.right() - textWidth;
    else if (flags & Qt::AlignHCenter)
        x = rect.left() + rect.width() / 2 - textWidth / 2;

    // A cell carries the glyph's border: 4 x B more columns, 3 x B more rows.
    // The next glyph starts 3 x B columns before the cell ends and lies on top.
    const auto fitsInt = [](qint64 v) { return v >= INT_MIN && v <= INT_MAX; };
    for (uchar b : bytes) {
        QRect const& g = font.LetterRect(b);
        const QRect source(QPoint(g.left(), g.top()), QPoint(g.right() + 4 * border, g.bottom() + 3 * border));
        const qint64 width = qint64(g.width()) + 4 * border;
        if (fitsInt(x) && fitsInt(y) && fitsInt(x + width - 1) && fitsInt(y + source.height() - 1)) {
            const QRect target = source.translated(int(x) - source.left(), int(y) - source.top());
            if (cUniItem* item = data->appendItem(texture, source, target))
                item->mUsed = true;
        }
        x += width - 3 * border;
    }
}
