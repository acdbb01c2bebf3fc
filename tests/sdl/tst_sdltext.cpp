// Text of the SDL engine from a synthetic atlas: red glyph boxes with a blue
// border ring, drawn on opaque black.

#include "sdlfixture.h"
#include <atlasfile.h>

#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QColor>
#include <QTemporaryDir>

namespace {

unsigned const kRed = 0xffff0000u;
unsigned const kBlue = 0xff0000ffu;
unsigned const kBlack = 0xff000000u;

// 'a' is 5 wide, 'b' 7, 'c' 4; every other byte has an empty box.
int glyphWidth(int byte)
{
    switch (byte) {
    case 'a': return 5;
    case 'b': return 7;
    case 'c': return 4;
    default: return 0;
    }
}

int const kHeight = 8;

// The font of the synthetic atlas with border 1, written into a cache of
// its own; the registry loads the cache once per process.
struct TextFixture : SdlCanvas {
    TextFixture()
        : SdlCanvas(QSize(120, 60), QSize(160, 80))
        , info(QStringLiteral("Synth"), 10, -1, 1, QColor::fromRgba(kRed), QColor::fromRgba(kBlue), false)
    {
        cFontInfo::makeCacheBasePath(dir.path() + QLatin1Char('/'));
        const atlasfile::Synthetic atlas = atlasfile::makeSynthetic(glyphWidth, kHeight, 1, kRed, kBlue);
        written = atlasfile::writeAtlas(dir.path(), info.mName, atlas.image, atlas.boxes);
        font.reset(new cUniFontMap(info));
    }

    // Starts an update on opaque black: blits keep the target's alpha.
    bool beginOnBlack()
    {
        if (!begin())
            return false;
        clearToBlack();
        return true;
    }
    void clearToBlack() { clear(QColor::fromRgba(kBlack)); }

    QTemporaryDir dir;
    cFontInfo info;
    bool written = false;
    std::unique_ptr<cUniFontMap> font;
};

// Checks "ab" drawn with its first cell at (x, y): boxes in red, each box's
// one-pixel ring right and below in blue, the next glyph 5 + 1 further.
int checkAb(QImage const& got, int x, int y)
{
    for (int row = 0; row < got.height(); ++row) {
        for (int col = 0; col < got.width(); ++col) {
            unsigned expected = kBlack;
            const QRect boxA(x, y, 5, kHeight);
            const QRect boxB(x + 6, y, 7, kHeight);
            if (boxA.contains(col, row) || boxB.contains(col, row))
                expected = kRed;
            else if (boxA.adjusted(0, 0, 1, 1).contains(col, row) || boxB.adjusted(0, 0, 1, 1).contains(col, row))
                expected = kBlue;
            if (got.pixel(col, row) != expected) {
                std::fprintf(stderr, "pixel (%d, %d) is %08x, expected %08x\n", col, row, got.pixel(col, row),
                             expected);
                return 1;
            }
        }
    }
    return 0;
}

} // namespace

DTEST_CHILD(glyphCellsAdvanceByWidthAndBorder)
{
    TextFixture f;
    CHECK(f.ready && f.written);
    CHECK_EQ(f.font->border(), 1);
    CHECK_EQ(f.font->LetterRect('a').width(), 5);

    const QRect rect(QPoint(10, 10), QPoint(109, 49));
    // "ab" measures 5 + 1 + 7 + 1 = 14 by 8.
    struct Placement {
        QRect rect;
        int flags;
        QPoint cell;
    } const placements[] = {
        {rect, 0, QPoint(10, 10)},
        {rect, Qt::AlignRight | Qt::AlignBottom, QPoint(109 - 14, 49 - 8)},
        {rect, Qt::AlignCenter, QPoint(10 + 50 - 7, 10 + 20 - 4)},
        // Right wins over centre, bottom over vertical centre.
        {rect, Qt::AlignRight | Qt::AlignHCenter | Qt::AlignBottom | Qt::AlignVCenter, QPoint(109 - 14, 49 - 8)},
        // Not clipped to the rectangle: a right-aligned string wider than it starts left of it.
        {QRect(40, 5, 4, 4), Qt::AlignRight, QPoint(43 - 14, 5)},
    };
    CHECK(f.beginOnBlack());
    for (Placement const& p : placements) {
        f.clearToBlack();
        f.img.drawText(p.rect, p.flags, QStringLiteral("ab"), *f.font);
        CHECK(checkAb(f.pixels(), p.cell.x(), p.cell.y()) == 0);
        CHECK_EQ(f.count(kRed), 5 * kHeight + 7 * kHeight);
    }
    CHECK(f.img.endUpdate());
    return 0;
}

DTEST_CHILD(textCutAtSurfaceEdges)
{
    TextFixture f;
    CHECK(f.ready && f.written);
    CHECK(f.beginOnBlack());
    f.img.drawText(QRect(114, 55, 5, 5), 0, QStringLiteral("abcabc"), *f.font);
    CHECK_EQ(f.pixel(114, 55), kRed);
    CHECK_EQ(f.pixel(119, 59), kBlue);  // a's ring at x = 119, rows below 55 + 8 cut
    f.clearToBlack();
    f.img.drawText(QRect(-8, -3, 5, 5), 0, QStringLiteral("ab"), *f.font);
    CHECK(checkAb(f.pixels(), -8, -3) == 0);

    // Far positions are cut before they reach SDL_Rect's 16-bit fields.
    f.clearToBlack();
    f.img.drawText(QRect(65536 + 10, 65536 + 10, 5, 5), 0, QStringLiteral("ab"), *f.font);
    f.img.drawText(QRect(-65536 + 10, 10, 5, 5), 0, QStringLiteral("ab"), *f.font);
    CHECK_EQ(f.count(kBlack), 120 * 60);
    CHECK(f.img.endUpdate());
    return 0;
}

DTEST_CHILD(nothingDrawnWithoutAtlasOrText)
{
    TextFixture f;
    CHECK(f.ready && f.written);
    cUniFontMap noAtlas;
    CHECK(noAtlas.image().isNull());
    CHECK(f.beginOnBlack());
    f.img.drawText(QRect(0, 0, 100, 40), 0, QStringLiteral("ab"), noAtlas);
    f.img.drawText(QRect(0, 0, 100, 40), 0, QString(), *f.font);
    f.img.drawText(QRect(10, 10, -5, 20), 0, QStringLiteral("ab"), *f.font);
    CHECK_EQ(f.count(kBlack), 120 * 60);
    CHECK(f.img.endUpdate());
    // Not while idle either.
    f.img.drawText(QRect(0, 0, 100, 40), 0, QStringLiteral("ab"), *f.font);
    CHECK_EQ(f.count(kBlack), 120 * 60);
    return 0;
}

class tst_SDLText : public QObject
{
    Q_OBJECT

private slots:
    void glyphCellsAdvanceByWidthAndBorder() { EXPECT_CHILD_PASSES("glyphCellsAdvanceByWidthAndBorder"); }
    void textCutAtSurfaceEdges() { EXPECT_CHILD_PASSES("textCutAtSurfaceEdges"); }
    void nothingDrawnWithoutAtlasOrText() { EXPECT_CHILD_PASSES("nothingDrawnWithoutAtlasOrText"); }
};

DTEST_MAIN(tst_SDLText)

#include "tst_sdltext.moc"
