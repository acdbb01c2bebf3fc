// Text of the SDL engine from a synthetic atlas: red glyph boxes with a blue
// border ring, drawn on opaque black.

#include "sdlfixture.h"

#include <atlasfile.h>

#include <dorurizar/unifontmap.h>

#include <QTemporaryDir>

namespace {

unsigned const kRed = 0xffff0000u;
unsigned const kBlue = 0xff0000ffu;
unsigned const kBlack = 0xff000000u;

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
        written = atlasfile::writeAtlas(dir.path(), info.mName, atlas.image, atlas.boxes);
        font.reset(new cUniFontMap(info));
    }

    QTemporaryDir dir;
    cFontInfo info;
    bool written = false;
    std::unique_ptr<cUniFontMap> font;
};

// The canvas with "ab" drawn with its first cell at (x, y): boxes in red,
// each box's one-pixel ring right and below in blue, the next glyph 5 + 1
// further; nothing but black when not drawn.
QImage textAt(int x, int y, bool drawn)
{
    QImage out(120, 60, QImage::Format_ARGB32);
    out.fill(kBlack);
    const QRect boxes[] = {QRect(x, y, 5, kHeight), QRect(x + 6, y, 7, kHeight)};
    for (int row = 0; drawn && row < out.height(); ++row)
        for (int col = 0; col < out.width(); ++col)
            for (QRect const& box : boxes)
                if (box.contains(col, row))
                    out.setPixel(col, row, kRed);
                else if (box.adjusted(0, 0, 1, 1).contains(col, row) && out.pixel(col, row) != kRed)
                    out.setPixel(col, row, kBlue);
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
        QTest::addColumn<bool>("atlas");
        QTest::addColumn<QPoint>("cell");  // of the first glyph; none when null
        // "ab" measures 5 + 1 + 7 + 1 = 14 by 8.
        const QRect box(QPoint(10, 10), QPoint(109, 49));
        QTest::newRow("left") << box << 0 << "ab" << true << QPoint(10, 10);
        QTest::newRow("right bottom") << box << int(Qt::AlignRight | Qt::AlignBottom) << "ab" << true
                                      << QPoint(109 - 14, 49 - 8);
        QTest::newRow("centre") << box << int(Qt::AlignCenter) << "ab" << true << QPoint(10 + 50 - 7, 10 + 20 - 4);
        QTest::newRow("cut at top left") << QRect(-8, -3, 5, 5) << 0 << "ab" << true << QPoint(-8, -3);
        QTest::newRow("cut at bottom right") << QRect(114, 55, 5, 5) << 0 << "ab" << true << QPoint(114, 55);
        // Far positions are cut before they reach SDL_Rect's 16-bit fields.
        QTest::newRow("far right") << QRect(65536 + 10, 65536 + 10, 5, 5) << 0 << "ab" << true << QPoint();
        QTest::newRow("far left") << QRect(-65536 + 10, 10, 5, 5) << 0 << "ab" << true << QPoint();
        QTest::newRow("no text") << box << 0 << "" << true << QPoint();
        QTest::newRow("invalid rect") << QRect(10, 10, -5, 20) << 0 << "ab" << true << QPoint();
        QTest::newRow("no atlas") << box << 0 << "ab" << false << QPoint();
    }
    void glyphCellsAdvanceByWidthAndBorder()
    {
        DTEST_IN_CHILD(30000);
        QFETCH(QRect, rect);
        QFETCH(int, flags);
        QFETCH(QString, text);
        QFETCH(bool, atlas);
        QFETCH(QPoint, cell);
        TextFixture f;
        QVERIFY(f.ready && f.written);
        QCOMPARE(f.font->border(), 1);
        cUniFontMap noAtlas;
        QVERIFY(noAtlas.image().isNull());
        QVERIFY(f.begin());
        f.clear(QColor::fromRgba(kBlack));  // blits keep the target's alpha
        f.img.drawText(rect, flags, text, atlas ? *f.font : noAtlas);
        QCOMPARE(f.pixels(), textAt(cell.x(), cell.y(), !cell.isNull()));
    }
};

DTEST_MAIN(tst_SDLText)
#include "tst_sdltext.moc"
