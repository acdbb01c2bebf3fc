#include "glengine.h"

#include "textplacement_p.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace {

bool isUploadable32(QImage::Format f)
{
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

bool allOpaque(QImage const& image)
{
    const int width = image.width();  // an out-of-line call: not once a pixel
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QRgb common = 0xff000000u;  // a whole row at a time, which vectorises
        for (int x = 0; x < width; ++x)
            common &= row[x];
        if (common != 0xff000000u)
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
        const int width = writable.width();
        for (int y = 0; y < writable.height(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(writable.scanLine(y));
            for (int x = 0; x < width; ++x)
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
    mUploadedBytes += quint64(pixels->width()) * quint64(pixels->height()) * 4;
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
    using UniFontMapNS::spanOf;
    return QRectF(r.left() * mTexelWidth, r.top() * mTexelHeight, spanOf(r.left(), r.right()) * mTexelWidth,
                  spanOf(r.top(), r.bottom()) * mTexelHeight);
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
