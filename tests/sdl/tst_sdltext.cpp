// Text of the SDL engine from a synthetic atlas: red glyph boxes with a blue
// border ring, drawn on opaque black.

#include "sdlfixture.h"

#include <atlasfile.h>

#include <dorurizar/unifontmap.h>

#include <QPainter>
#include <QTemporaryDir>

namespace {

unsigned const kRed = 0xffff0000u, kBlue = 0xff0000ffu, kBlack = 0xff000000u;

// 'a' is 5 wide, 'b' 7; every other byte has an empty box.
int glyphWidth(int byte)
{
    return byte == 'a' ? 5 : byte == 'b' ? 7 : 0;
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
        ready = ready && atlasfile::writeAtlas(dir.path(), info.mName, atlas.image, atlas.boxes);
        font.reset(new cUniFontMap(info));
    }

    QTemporaryDir dir;
    cFontInfo info;
    std::unique_ptr<cUniFontMap> font;
};

// The canvas with "ab" drawn with its first cell at (x, y): boxes in red,
// each box's one-pixel ring right and below in blue, the next glyph 5 + 1
// further; nothing but black when not drawn.
QImage textAt(int x, int y, bool drawn)
{
    QImage out(120, 60, QImage::Format_ARGB32);
    out.fill(kBlack);
    QPainter p(&out);
    for (QRect const& box : {QRect(x, y, 5, kHeight), QRect(x + 6, y, 7, kHeight)}) {
        if (drawn)
            p.fillRect(box.adjusted(0, 0, 1, 1), QColor::fromRgba(kBlue)), p.fillRect(box, QColor::fromRgba(kRed));
    }
    return out;
}

} // namespace

class tst_SDLText : public QObject
{
    Q_OBJECT

private slots:
    void glyphCellsAdvanceByWidthAndBorder_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("cell");  // of the first glyph; none when null
        // "ab" measures 5 + 1 + 7 + 1 = 14 by 8; left and right-bottom
        // alignment, and a font without an atlas, are scenes of every engine.
        const QRect box(QPoint(10, 10), QPoint(109, 49));
        QTest::newRow("centre") << box << int(Qt::AlignCenter) << "ab" << QPoint(10 + 50 - 7, 10 + 20 - 4);
        QTest::newRow("cut at top left") << QRect(-8, -3, 5, 5) << 0 << "ab" << QPoint(-8, -3);
        QTest::newRow("cut at bottom right") << QRect(114, 55, 5, 5) << 0 << "ab" << QPoint(114, 55);
        // Far positions are cut before they reach SDL_Rect's 16-bit fields.
        QTest::newRow("far right") << QRect(65536 + 10, 65536 + 10, 5, 5) << 0 << "ab" << QPoint();
        QTest::newRow("far left") << QRect(-65536 + 10, 10, 5, 5) << 0 << "ab" << QPoint();
        QTest::newRow("no text") << box << 0 << "" << QPoint();
        QTest::newRow("invalid rect") << QRect(10, 10, -5, 20) << 0 << "ab" << QPoint();
    }
    void glyphCellsAdvanceByWidthAndBorder()
    {
        QFETCH(QRect, rect);
        QFETCH(int, flags);
        QFETCH(QString, text);
        QFETCH(QPoint, cell);
        SDL_CHILD_CASE(TextFixture, f);
        QCOMPARE(f.font->border(), 1);
        QVERIFY(f.begin());
        f.clear(QColor::fromRgba(kBlack));  // blits keep the target's alpha
        f.img.drawText(rect, flags, text, *f.font);
        QCOMPARE(f.pixels(), textAt(cell.x(), cell.y(), !cell.isNull()));
    }
};

DTEST_MAIN(tst_SDLText)
#include "tst_sdltext.moc"
