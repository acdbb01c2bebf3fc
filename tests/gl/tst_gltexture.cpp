// Textures and display lists of the GL engine.

#include "glfixture.h"

#include <GL/gl.h>

namespace {
int gCallbacks = 0;
void countingBind(void*, int)
{
    ++gCallbacks;
}
} // namespace

DTEST_CHILD(storageIsRoundedAndReallocatedOnlyWhenTooSmall)
{
    GLFixture f;
    CHECK(f.ready);
    cGLEngine::cTexture t(solid(QSize(100, 50), 0xff102030));
    CHECK_EQ(t.textureSize(), QSize(128, 64));
    const QRectF r = t.toTextureRect(QRect(0, 0, 100, 50));
    CHECK_EQ(r, QRectF(0, 0, 0.78125, 0.78125));
    const GLuint first = t.textureId();
    CHECK(first != 0);

    t.setImage(solid(QSize(20, 20), 0xff000000));
    CHECK_EQ(t.textureId(), first);
    CHECK_EQ(t.textureSize(), QSize(128, 64));
    CHECK_EQ(t.imageSize(), QSize(20, 20));

    t.setImage(solid(QSize(200, 10), 0xff000000));
    CHECK_EQ(t.textureSize(), QSize(256, 16));
    CHECK(!glIsTexture(first) || t.textureId() != first);
    t.setImage(solid(QSize(100, 50), 0xff000000));
    CHECK_EQ(t.textureSize(), QSize(128, 64));

    cGLEngine::cTexture one(solid(QSize(1, 1), 0xffffffff));
    CHECK_EQ(one.textureSize(), QSize(1, 1));
    CHECK_EQ(one.toTextureRect(QRect(0, 0, 1, 1)), QRectF(0, 0, 1, 1));
    return 0;
}

DTEST_CHILD(opaqueImagesGetOpaqueAlphaInPlace)
{
    GLFixture f;
    CHECK(f.ready);
    // An opaque format whose alpha bytes hold anything.
    QImage rgb(4, 4, QImage::Format_RGB32);
    std::fill_n(reinterpret_cast<QRgb*>(rgb.bits()), 16, 0x00405060u);
    const QImage before = rgb;
    cGLEngine::cTexture t(rgb);
    CHECK(!t.hasAlpha());
    CHECK_EQ(rgb.pixel(1, 1), 0xff405060u);
    CHECK_EQ(reinterpret_cast<const QRgb*>(before.constBits())[0], 0x00405060u);

    QRgb texels[4 * 4];
    glBindTexture(GL_TEXTURE_2D, t.textureId());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels);
    CHECK_EQ(texels[0], 0xff405060u);
    return 0;
}

DTEST_CHILD(tokensAreNeverUploaded)
{
    GLFixture f;
    CHECK(f.ready);
    QImage token(704, 576, QImage::Format_Mono);
    const glengine_bind bind = &countingBind;
    std::memcpy(token.bits(), &bind, sizeof bind);
    cGLEngine::cTexture t(token);
    CHECK(t.accelerated());
    CHECK_EQ(t.textureSize(), QSize(704, 576));
    GLint width = -1;
    glBindTexture(GL_TEXTURE_2D, t.textureId());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    CHECK_EQ(width, 0);
    t.acceleratedBind();
    CHECK_EQ(gCallbacks, 1);

    // A token too small to hold a callback, or one holding none, is not called.
    QImage tiny(1, 1, QImage::Format_Mono);
    tiny.fill(0);
    cGLEngine::cTexture small(tiny);
    small.acceleratedBind();
    QImage empty(16, 16, QImage::Format_Mono);
    std::memset(empty.bits(), 0, size_t(empty.sizeInBytes()));
    cGLEngine::cTexture none(empty);
    none.acceleratedBind();
    CHECK_EQ(gCallbacks, 1);
    return 0;
}

DTEST_CHILD(listsRecycleFirstFitAndKeepZOrder)
{
    GLFixture f;
    CHECK(f.ready);
    cGLEngine::cTexture atlas(solid(QSize(8, 8), 0xffffffff));
    cGLEngine::cUniData d;
    cGLEngine::cUniItem* glyph = d.appendItem(&atlas, QRect(0, 0, 2, 2), QRect(0, 0, 2, 2));
    CHECK(glyph->mForeignTexture && !glyph->mUsed);
    glyph->mUsed = true;
    d.setUse(false);

    // A picture never takes a glyph item; the glyph is dropped when unused.
    const QImage picture = solid(QSize(10, 10), 0xff00ff00);
    cGLEngine::cUniItem* item = d.appendItem(&picture, picture.rect(), QRect(5, 5, 10, 10));
    CHECK(item != glyph && !item->mForeignTexture && item->mTexture);
    item->mUsed = true;
    CHECK(d.mItems.last() == item);
    CHECK(glyph->mTexture == &atlas);
    d.eraseUnusedItems();
    CHECK_EQ(d.mItems.size(), 1);

    cGLEngine::cUniItem* second = d.appendItem(&picture, picture.rect(), QRect(0, 0, 1, 1));
    second->mUsed = true;
    d.moveItemByZOrder(second);
    CHECK(d.mItems.last() == second);
    d.moveItemByZOrder(item);
    CHECK(d.mItems.last() == item);
    CHECK(d.mItems.first() == second);
    return 0;
}

class tst_GLTexture : public QObject
{
    Q_OBJECT

private slots:
    void sizesArePowersOfTwo()
    {
        QCOMPARE(nSize(0), 1u);
        QCOMPARE(nSize(1), 1u);
        QCOMPARE(nSize(2), 2u);
        QCOMPARE(nSize(3), 4u);
        QCOMPARE(nSize(5), 8u);
        QCOMPARE(nSize(576), 1024u);
        QCOMPARE(nSize(960), 1024u);
        QCOMPARE(nSize(1024), 1024u);
        QCOMPARE(nSize(1025), 2048u);
        QCOMPARE(nSize(0x80000000u), 0x80000000u);
        QCOMPARE(nSize(0x80000001u), 0u);  // no answer fits; no endless loop
    }
    void storageIsRoundedAndReallocatedOnlyWhenTooSmall()
    {
        EXPECT_CHILD_PASSES("storageIsRoundedAndReallocatedOnlyWhenTooSmall");
    }
    void opaqueImagesGetOpaqueAlphaInPlace() { EXPECT_CHILD_PASSES("opaqueImagesGetOpaqueAlphaInPlace"); }
    void tokensAreNeverUploaded() { EXPECT_CHILD_PASSES("tokensAreNeverUploaded"); }
    void listsRecycleFirstFitAndKeepZOrder() { EXPECT_CHILD_PASSES("listsRecycleFirstFitAndKeepZOrder"); }
};

DTEST_MAIN(tst_GLTexture)
#include "tst_gltexture.moc"
