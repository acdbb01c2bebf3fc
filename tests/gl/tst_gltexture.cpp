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

class tst_GLTexture : public QObject
{
    Q_OBJECT

private slots:
    void sizesArePowersOfTwo_data();
    void sizesArePowersOfTwo();
    void storageIsRoundedAndReallocatedOnlyWhenTooSmall();
    void opaqueImagesGetOpaqueAlphaInPlace();
    void tokensAreNeverUploaded();
    void listsRecycleFirstFitAndKeepZOrder();
};

void tst_GLTexture::sizesArePowersOfTwo_data()
{
    QTest::addColumn<uint>("n");
    QTest::addColumn<uint>("size");
    // The last has no answer that fits, and must not loop for ever.
    const uint rows[][2] = {{0, 1},      {1, 1},       {2, 2},       {3, 4},
                            {5, 8},      {576, 1024},  {960, 1024},  {1024, 1024},
                            {1025, 2048}, {0x80000000u, 0x80000000u}, {0x80000001u, 0}};
    for (auto const& row : rows)
        QTest::addRow("%u", row[0]) << row[0] << row[1];
}

void tst_GLTexture::sizesArePowersOfTwo()
{
    QFETCH(uint, n);
    QFETCH(uint, size);
    QCOMPARE(nSize(n), size);
}

void tst_GLTexture::storageIsRoundedAndReallocatedOnlyWhenTooSmall()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    cGLEngine::cTexture t(solid(QSize(100, 50), 0xff102030));
    QCOMPARE(t.textureSize(), QSize(128, 64));
    const QRectF r = t.toTextureRect(QRect(0, 0, 100, 50));
    QCOMPARE(r, QRectF(0, 0, 0.78125, 0.78125));
    const GLuint first = t.textureId();
    QVERIFY(first != 0);

    t.setImage(solid(QSize(20, 20), 0xff000000));
    QCOMPARE(t.textureId(), first);
    QCOMPARE(t.textureSize(), QSize(128, 64));
    QCOMPARE(t.imageSize(), QSize(20, 20));

    t.setImage(solid(QSize(200, 10), 0xff000000));
    QCOMPARE(t.textureSize(), QSize(256, 16));
    QVERIFY(!glIsTexture(first) || t.textureId() != first);
    t.setImage(solid(QSize(100, 50), 0xff000000));
    QCOMPARE(t.textureSize(), QSize(128, 64));

    cGLEngine::cTexture one(solid(QSize(1, 1), 0xffffffff));
    QCOMPARE(one.textureSize(), QSize(1, 1));
    QCOMPARE(one.toTextureRect(QRect(0, 0, 1, 1)), QRectF(0, 0, 1, 1));
}

void tst_GLTexture::opaqueImagesGetOpaqueAlphaInPlace()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    // An opaque format whose alpha bytes hold anything.
    QImage rgb(4, 4, QImage::Format_RGB32);
    std::fill_n(reinterpret_cast<QRgb*>(rgb.bits()), 16, 0x00405060u);
    const QImage before = rgb;
    cGLEngine::cTexture t(rgb);
    QVERIFY(!t.hasAlpha());
    QCOMPARE(rgb.pixel(1, 1), 0xff405060u);
    QCOMPARE(reinterpret_cast<const QRgb*>(before.constBits())[0], 0x00405060u);

    QRgb texels[4 * 4];
    glBindTexture(GL_TEXTURE_2D, t.textureId());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels);
    QCOMPARE(texels[0], 0xff405060u);
}

void tst_GLTexture::tokensAreNeverUploaded()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    QImage token(704, 576, QImage::Format_Mono);
    const glengine_bind bind = &countingBind;
    std::memcpy(token.bits(), &bind, sizeof bind);
    cGLEngine::cTexture t(token);
    QVERIFY(t.accelerated());
    QCOMPARE(t.textureSize(), QSize(704, 576));
    GLint width = -1;
    glBindTexture(GL_TEXTURE_2D, t.textureId());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    QCOMPARE(width, 0);
    t.acceleratedBind();
    QCOMPARE(gCallbacks, 1);

    // A token too small to hold a callback, or one holding none, is not called.
    QImage tiny(1, 1, QImage::Format_Mono);
    tiny.fill(0);
    cGLEngine::cTexture small(tiny);
    small.acceleratedBind();
    QImage empty(16, 16, QImage::Format_Mono);
    std::memset(empty.bits(), 0, size_t(empty.sizeInBytes()));
    cGLEngine::cTexture none(empty);
    none.acceleratedBind();
    QCOMPARE(gCallbacks, 1);
}

void tst_GLTexture::listsRecycleFirstFitAndKeepZOrder()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    cGLEngine::cTexture atlas(solid(QSize(8, 8), 0xffffffff));
    cGLEngine::cUniData d;
    cGLEngine::cUniItem* glyph = d.appendItem(&atlas, QRect(0, 0, 2, 2), QRect(0, 0, 2, 2));
    QVERIFY(glyph->mForeignTexture && !glyph->mUsed);
    glyph->mUsed = true;
    d.setUse(false);

    // A picture never takes a glyph item; the glyph is dropped when unused.
    const QImage picture = solid(QSize(10, 10), 0xff00ff00);
    cGLEngine::cUniItem* item = d.appendItem(&picture, picture.rect(), QRect(5, 5, 10, 10));
    QVERIFY(item != glyph && !item->mForeignTexture && item->mTexture);
    item->mUsed = true;
    QVERIFY(d.mItems.last() == item);
    QVERIFY(glyph->mTexture == &atlas);
    d.eraseUnusedItems();
    QCOMPARE(d.mItems.size(), 1);

    cGLEngine::cUniItem* second = d.appendItem(&picture, picture.rect(), QRect(0, 0, 1, 1));
    second->mUsed = true;
    d.moveItemByZOrder(second);
    QVERIFY(d.mItems.last() == second);
    d.moveItemByZOrder(item);
    QVERIFY(d.mItems.last() == item);
    QVERIFY(d.mItems.first() == second);
}

DTEST_MAIN(tst_GLTexture)
#include "tst_gltexture.moc"
