// Text of the GL engine: glyph items from a synthetic atlas, and their pixels.

#include "glfixture.h"

#include <atlasfile.h>

#include <dorurizar/unifontmap.h>

#include <QTemporaryDir>

namespace {

const QRgb kGlyph = qRgb(255, 255, 0), kRing = qRgb(0, 0, 255), kBlack = qRgb(0, 0, 0);

// 'a', 'b', 'c' are 5, 6 and 7 pixels wide; every other byte 4.
int widthOf(int byte)
{
    return byte == 'a' ? 5 : byte == 'b' ? 6 : byte == 'c' ? 7 : 4;
}

// A cache holding one atlas with border 1 and glyphs 8 pixels high, made the
// first font lookup of this child process.
struct TextFixture : GLFixture {
    TextFixture()
        : info(QStringLiteral("Synth"), 10, -1, 1, QColor(kGlyph), QColor(kRing), false)
    {
        const atlasfile::Synthetic atlas = atlasfile::makeSynthetic(&widthOf, 8, 1, kGlyph, kRing);
        ready = ready && atlasfile::writeAtlas(dir.path(), info.mName, atlas.image, atlas.boxes);
        cFontInfo::makeCacheBasePath(dir.path());
        font.reset(new cUniFontMap(info));
    }

    QTemporaryDir dir;
    cFontInfo info;
    QScopedPointer<cUniFontMap> font;
};

} // namespace

class tst_GLText : public QObject
{
    Q_OBJECT

private slots:
    void glyphCellsAdvanceByWidthPlusBorder_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QPoint>("origin");
        // "abc" measures W = 5 + 6 + 7 + 3 x 1 = 21, H = 8, in (10, 10)-(109, 49).
        QTest::newRow("left") << 0 << QPoint(10, 10);
        QTest::newRow("right bottom") << int(Qt::AlignRight | Qt::AlignBottom) << QPoint(109 - 21, 49 - 8);
        QTest::newRow("centre") << int(Qt::AlignCenter) << QPoint(10 + 50 - 10, 10 + 20 - 4);
    }
    void glyphCellsAdvanceByWidthPlusBorder()
    {
        QFETCH(int, flags);
        QFETCH(QPoint, origin);
        GL_CHILD_CASE(TextFixture, f);
        QCOMPARE(f.font->border(), 1);
        const QImage shot = f.present([&] { f.screen.drawText(QRect(10, 10, 100, 40), flags, "abc", *f.font); });
        const auto& items = f.data(f.screen)->mItems;
        QCOMPARE(items.size(), 3);
        // The cell grows 4 x B to the right and 3 x B downwards.
        QCOMPARE(items[0]->mSrcRect.size(), QSize(9, 11));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(items[i]->mDstRect.topLeft(), origin + QPoint(QList<int>{0, 6, 13}[i], 0));
            QCOMPARE(items[i]->mDstRect.size(), QSize(9 + i, 11));
            QVERIFY(items[i]->mForeignTexture);
        }
        // a: 0..4, its ring at 5; b on top from 6; c from 13 to 19, ring at 20.
        const int x = origin.x();
        const int y = origin.y();
        GL_COMPARE_PIXELS(shot, 0, {x, y, kGlyph}, {x + 4, y + 7, kGlyph}, {x + 5, y + 2, kRing},
                          {x + 2, y + 8, kRing}, {x + 6, y + 2, kGlyph}, {x + 19, y + 2, kGlyph}, {x + 20, y + 2, kRing},
                          {x + 21, y + 2, kBlack}, {x + 2, y + 9, kBlack}, {x - 1, y + 2, kBlack});
    }

    void oneTextureAndSteadyItemsPerAtlas()
    {
        GL_CHILD_CASE(TextFixture, f);
        cUniFontMap again(f.info);
        const QImage picture = solid(QSize(4, 4), kRing);
        // Recycled items keep their kind: a picture never takes a glyph's
        // item (it would upload into the atlas texture), nor a glyph a picture's.
        auto frame = [&] {
            f.screen.drawText(QRect(0, 0, 50, 10), 0, QStringLiteral("ab"), *f.font);
            f.screen.drawImage(QRect(60, 0, 4, 4), picture, picture.rect());
            f.screen.drawText(QRect(0, 20, 50, 10), 0, QStringLiteral("ca"), again);
            f.screen.drawText(QRect(0, 40, 50, 10), 0, QString(), again);
        };
        f.present(frame);
        QCOMPARE(f.engine.mTextures.size(), 1);
        const auto items = f.data(f.screen)->mItems;
        QCOMPARE(items.size(), 5);
        QCOMPARE(items[2]->mForeignTexture, false);
        const GLuint name = f.engine.mTextures.first()->textureId();
        f.present(frame);
        QCOMPARE(f.data(f.screen)->mItems, items);
        QCOMPARE(f.engine.mTextures.first()->textureId(), name);
        QCOMPARE(f.engine.mTextures.first()->imageSize(), f.font->image().size());
        again.Destroy();
    }

    // Boxes near the integer limit, as a crafted cache file can hold: two of
    // them side by side must not wrap round into a plausible position.
    void hugeGlyphBoxesNeverWrap()
    {
        GL_CHILD_CASE(GLFixture, f);
        QTemporaryDir dir;
        QVector<QRect> boxes(256);
        boxes['w'] = QRect(0, 0, 1500000000, 4);
        boxes['x'] = QRect(0, 0, 3, 4);
        const cFontInfo info(QStringLiteral("Huge"), 10, -1, 1, QColor(kGlyph), QColor(kRing), false);
        QVERIFY(atlasfile::writeAtlas(dir.path(), info.mName, solid(QSize(8, 8), kGlyph), boxes));
        cFontInfo::makeCacheBasePath(dir.path());
        cUniFontMap font(info);
        QCOMPARE(font.LetterRect('w').width(), 1500000000);
        f.present([&] {
            f.screen.drawText(QRect(0, 0, 50, 10), 0, QStringLiteral("wwx"), font);
            f.screen.drawText(QRect(0, 0, 50, 10), Qt::AlignRight, QStringLiteral("wwx"), font);
        });
        // Left-aligned, the second 'w' and the 'x' start past INT_MAX and are
        // never recorded. Right-aligned, the first 'w' starts below INT_MIN;
        // the rest lands where the 64-bit measure puts it: 'x' at
        // 49 - 3000000006 + 2 x 1500000001 = 45.
        const auto& items = f.data(f.screen)->mItems;
        QCOMPARE(items.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(items[i]->mDstRect.left(), (QList<int>{0, -1499999956, 45}[i]));
    }
};

DTEST_MAIN(tst_GLText)
#include "tst_gltext.moc"
