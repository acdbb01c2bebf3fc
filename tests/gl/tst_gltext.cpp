// Text of the GL engine: glyph items from a synthetic atlas, and their pixels.

#include "glfixture.h"

#include <atlasfile.h>

#include <dorurizar/unifontmap.h>

#include <QTemporaryDir>

namespace {

const QRgb kGlyph = qRgb(255, 255, 0);
const QRgb kRing = qRgb(0, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0);

// 'a', 'b', 'c' are 5, 6 and 7 pixels wide; every other byte 4.
int widthOf(int byte)
{
    switch (byte) {
    case 'a': return 5;
    case 'b': return 6;
    case 'c': return 7;
    default: return 4;
    }
}

// A cache holding one atlas with border 1 and glyphs 8 pixels high, made the
// first font lookup of this (child) process.
struct TextFixture : GLFixture {
    TextFixture()
        : info(QStringLiteral("Synth"), 10, -1, 1, QColor(kGlyph), QColor(kRing), false)
    {
        const atlasfile::Synthetic atlas = atlasfile::makeSynthetic(&widthOf, 8, 1, kGlyph, kRing);
        written = dir.isValid() && atlasfile::writeAtlas(dir.path(), info.mName, atlas.image, atlas.boxes);
        cFontInfo::makeCacheBasePath(dir.path());
        font.reset(new cUniFontMap(info));
    }

    QTemporaryDir dir;
    cFontInfo info;
    bool written = false;
    QScopedPointer<cUniFontMap> font;
};

} // namespace

DTEST_CHILD(glyphsAdvanceByWidthPlusBorder)
{
    TextFixture f;
    CHECK(f.ready && f.written);
    CHECK_EQ(f.font->border(), 1);
    CHECK_EQ(f.font->LetterRect('a').width(), 5);

    const QImage shot = f.present([&] { f.screen.drawText(QRect(10, 10, 100, 20), 0, QStringLiteral("abc"), *f.font); });
    const auto& items = f.data(f.screen)->mItems;
    CHECK_EQ(items.size(), 3);
    CHECK_EQ(items[0]->mDstRect.topLeft(), QPoint(10, 10));
    CHECK_EQ(items[1]->mDstRect.topLeft(), QPoint(16, 10));
    CHECK_EQ(items[2]->mDstRect.topLeft(), QPoint(23, 10));
    // The cell grows 4 x B to the right and 3 x B downwards.
    CHECK_EQ(items[0]->mDstRect.size(), QSize(9, 11));
    CHECK_EQ(items[0]->mSrcRect.size(), QSize(9, 11));
    for (auto* item : items)
        CHECK(item->mForeignTexture);

    // a: 10..14, its ring at 15; b on top from 16; c from 23 to 29, ring at 30.
    CHECK_PIXEL(shot, 10, 10, kGlyph, 0);
    CHECK_PIXEL(shot, 14, 17, kGlyph, 0);
    CHECK_PIXEL(shot, 15, 12, kRing, 0);
    CHECK_PIXEL(shot, 12, 18, kRing, 0);
    CHECK_PIXEL(shot, 16, 12, kGlyph, 0);
    CHECK_PIXEL(shot, 29, 12, kGlyph, 0);
    CHECK_PIXEL(shot, 30, 12, kRing, 0);
    CHECK_PIXEL(shot, 31, 12, kBlack, 0);
    CHECK_PIXEL(shot, 12, 19, kBlack, 0);
    CHECK_PIXEL(shot, 9, 12, kBlack, 0);
    return 0;
}

DTEST_CHILD(alignmentUsesTheEngineMeasure)
{
    TextFixture f;
    CHECK(f.ready && f.written);
    // "abc" measures W = 5 + 6 + 7 + 3 x 1 = 21, H = 8.
    const QRect box(QPoint(10, 10), QPoint(109, 49));
    f.present([&] {
        f.screen.drawText(box, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("abc"), *f.font);
        f.screen.drawText(box, Qt::AlignCenter, QStringLiteral("abc"), *f.font);
        f.screen.drawText(box, Qt::AlignBottom | Qt::AlignVCenter | Qt::AlignRight | Qt::AlignHCenter,
                          QStringLiteral("abc"), *f.font);
        f.screen.drawText(QRect(QPoint(50, 50), QPoint(40, 40)), 0, QStringLiteral("a"), *f.font);
    });
    const auto& items = f.data(f.screen)->mItems;
    CHECK_EQ(items.size(), 10);
    CHECK_EQ(items[0]->mDstRect.topLeft(), QPoint(109 - 21, 49 - 8));
    CHECK_EQ(items[3]->mDstRect.topLeft(), QPoint(10 + 50 - 10, 10 + 20 - 4));
    CHECK_EQ(items[6]->mDstRect.topLeft(), QPoint(88, 41));
    CHECK_EQ(items[9]->mDstRect.topLeft(), QPoint(50, 50));
    return 0;
}

DTEST_CHILD(oneTextureAndSteadyItemsPerAtlas)
{
    TextFixture f;
    CHECK(f.ready && f.written);
    cUniFontMap again(f.info);
    auto frame = [&] {
        f.screen.drawText(QRect(0, 0, 50, 10), 0, QStringLiteral("ab"), *f.font);
        f.screen.drawText(QRect(0, 20, 50, 10), 0, QStringLiteral("ca"), again);
        f.screen.drawText(QRect(0, 40, 50, 10), 0, QString(), again);
    };
    f.present(frame);
    CHECK_EQ(f.engine.mTextures.size(), 1);
    const QList<cGLEngine::cUniItem*> items = f.data(f.screen)->mItems;
    CHECK_EQ(items.size(), 4);
    const GLuint name = f.engine.mTextures.first()->textureId();
    f.present(frame);
    CHECK(f.data(f.screen)->mItems == items);
    CHECK_EQ(f.engine.mTextures.first()->textureId(), name);
    again.Destroy();
    return 0;
}

DTEST_CHILD(fontWithoutAtlasDrawsNothing)
{
    GLFixture f;
    CHECK(f.ready);
    cUniFontMap none;
    const QImage shot = f.present([&] { f.screen.drawText(QRect(10, 10, 50, 10), 0, QStringLiteral("abc"), none); });
    CHECK_EQ(f.data(f.screen)->mItems.size(), 3);
    CHECK_EQ(dtest::countPixels(shot, 0xff000000u), shot.width() * shot.height());
    return 0;
}

// Boxes near the integer limit, as a crafted cache file can hold: two of
// them side by side must not wrap round into a plausible position.
DTEST_CHILD(hugeGlyphBoxesNeverWrap)
{
    GLFixture f;
    CHECK(f.ready);
    QTemporaryDir dir;
    QVector<QRect> boxes(256, QRect(0, 0, 0, 0));
    boxes['w'] = QRect(0, 0, 1500000000, 4);
    boxes['x'] = QRect(0, 0, 3, 4);
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(kGlyph);
    const cFontInfo info(QStringLiteral("Huge"), 10, -1, 1, QColor(kGlyph), QColor(kRing), false);
    CHECK(atlasfile::writeAtlas(dir.path(), info.mName, image, boxes));
    cFontInfo::makeCacheBasePath(dir.path());
    cUniFontMap font(info);
    CHECK_EQ(font.LetterRect('w').width(), 1500000000);

    f.present([&] {
        f.screen.drawText(QRect(0, 0, 50, 10), 0, QStringLiteral("wwx"), font);
        f.screen.drawText(QRect(0, 0, 50, 10), Qt::AlignRight, QStringLiteral("wwx"), font);
    });
    // Left-aligned, the second 'w' and the 'x' start past INT_MAX and are
    // never recorded. Right-aligned, the first 'w' starts below INT_MIN; the
    // rest lands where the 64-bit measure puts it: 'x' at 49 - 3000000006 +
    // 2 x 1500000001 = 45.
    const auto& items = f.data(f.screen)->mItems;
    CHECK_EQ(items.size(), 3);
    CHECK_EQ(items[0]->mDstRect.left(), 0);
    CHECK_EQ(items[1]->mDstRect.left(), -1499999956);
    CHECK_EQ(items[2]->mDstRect.left(), 45);
    return 0;
}

class tst_GLText : public QObject
{
    Q_OBJECT

private slots:
    void glyphsAdvanceByWidthPlusBorder() { EXPECT_CHILD_PASSES("glyphsAdvanceByWidthPlusBorder"); }
    void alignmentUsesTheEngineMeasure() { EXPECT_CHILD_PASSES("alignmentUsesTheEngineMeasure"); }
    void oneTextureAndSteadyItemsPerAtlas() { EXPECT_CHILD_PASSES("oneTextureAndSteadyItemsPerAtlas"); }
    void fontWithoutAtlasDrawsNothing() { EXPECT_CHILD_PASSES("fontWithoutAtlasDrawsNothing"); }
    void hugeGlyphBoxesNeverWrap() { EXPECT_CHILD_PASSES("hugeGlyphBoxesNeverWrap"); }
};

DTEST_MAIN(tst_GLText)
#include "tst_gltext.moc"
