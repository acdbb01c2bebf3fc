// Qt engine text on real pixels: placement by the alignment flags (the rule
// every engine shares), the cell grown by 3 x border, the advance by glyph
// width. The atlases are written once per process, before its first font
// lookup; glyph boxes from hostile cache files are the atlas fuzzer's
// (tests/fuzz), whose corpus runs in every build.

#include <dorurizar/qtengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>

#include <atlasfile.h>
#include <testsupport.h>

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QRgb kRed = 0xffff0000, kWhite = 0xffffffff, kGreen = 0xff00ff00, kBlue = 0xff0000ff;

bool writeAtlases(QString const& dir)
{
    // Red 6 x 12 glyphs, border 0, and 'e' of 5 x 11.
    auto zero = atlasfile::makeSynthetic([](int b) { return b >= 32 ? 6 : 0; }, 12, 0, kRed, 0xff000000);
    QVector<QRect> boxes = zero.boxes;
    boxes['e'].setSize(QSize(5, 11));
    if (!atlasfile::writeAtlas(dir, QStringLiteral("Zero_12_-1_0_ffff0000_ff000000"), zero.image, boxes))
        return false;

    // Border 2: red 'A' and white 'B', each with the 6 pixels right of and
    // below its box green and the next column and row blue, which a correct
    // engine never copies.
    QImage grow(80, 40, QImage::Format_ARGB32);
    grow.fill(0);
    QVector<QRect> probes(256, QRect(0, 0, 0, 0));
    probes['A'] = QRect(10, 5, 6, 12);
    probes['B'] = QRect(40, 5, 5, 12);
    QPainter p(&grow);
    for (char c : {'A', 'B'}) {
        p.fillRect(probes[c].adjusted(0, 0, 7, 7), QColor::fromRgba(kBlue));
        p.fillRect(probes[c].adjusted(0, 0, 6, 6), QColor::fromRgba(kGreen));
        p.fillRect(probes[c], QColor::fromRgba(c == 'A' ? kRed : kWhite));
    }
    p.end();
    return atlasfile::writeAtlas(dir, QStringLiteral("Grow_12_-1_2_ffff0000_ff000000"), grow, probes);
}

struct Canvas {
    cQTEngine engine;
    cUniImg img{&engine};
    Canvas(int w, int h) { img.resize(w, h); }

    QImage draw(QRect const& rect, int flags, QString const& text, cUniFontMap const& font)
    {
        img.beginUpdate();
        img.drawText(rect, flags, text, font);
        img.endUpdate();
        return engine.QImagefromUniImage(&img);
    }
};

// The bounding box of the pixels of one colour.
QRect boundsOf(QImage const& img, QRgb color)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == color)
                r = r.united(QRect(x, y, 1, 1));
    return r;
}

QRect fromCorners(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

class tst_QtText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void alignment_data();
    void alignment();
    void borderGrowthAndAdvance();

private:
    QTemporaryDir mCache;
};

void tst_QtText::initTestCase()
{
    QVERIFY(writeAtlases(mCache.path()));
    cFontInfo::makeCacheBasePath(mCache.path());
}

void tst_QtText::alignment_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("drawn");  // the red pixels' bounds; null when none
    const QRect box = fromCorners(10, 10, 109, 49);
    auto row = [&](char const* name, int flags, QRect drawn, QString text = "ABCDE", QRect rect = QRect()) {
        QTest::newRow(name) << (rect.isNull() ? box : rect) << flags << text << drawn;  // ABCDE: 30 x 12
    };
    row("left top", 0, QRect(10, 10, 30, 12));
    // Right and bottom place the text against rect.right() and rect.bottom() themselves.
    row("right", Qt::AlignRight, QRect(79, 10, 30, 12));
    row("bottom", Qt::AlignBottom, QRect(10, 37, 30, 12));
    row("right bottom", Qt::AlignRight | Qt::AlignBottom, QRect(79, 37, 30, 12));
    // 10 + 100 / 2 - 30 / 2 = 45 and 10 + 40 / 2 - 12 / 2 = 24.
    row("hcenter", Qt::AlignHCenter, QRect(45, 10, 30, 12));
    row("vcenter", Qt::AlignVCenter, QRect(10, 24, 30, 12));
    row("center", Qt::AlignCenter, QRect(45, 24, 30, 12));
    // Halves taken apart: 10 + 100 / 2 - 5 / 2 = 58 and 10 + 40 / 2 - 11 / 2 = 25.
    row("center, odd text", Qt::AlignCenter, QRect(58, 25, 5, 11), "e");
    row("bottom and right win", Qt::AlignBottom | Qt::AlignVCenter | Qt::AlignRight | Qt::AlignHCenter,
        QRect(79, 37, 30, 12));
    row("other bits ignored", Qt::AlignVCenter | Qt::TextWordWrap | Qt::AlignJustify, QRect(10, 24, 30, 12));
    // Nothing is clipped: text larger than the rectangle runs past it.
    row("wider than rect, right", Qt::AlignRight, QRect(79, 10, 120, 12), "ABCDEFGHIJKLMNOPQRST",
        fromCorners(150, 10, 199, 49));
    row("taller than rect, bottom", Qt::AlignBottom, QRect(10, 3, 30, 12), "ABCDE", fromCorners(10, 10, 109, 15));
    row("taller than rect, vcenter", Qt::AlignVCenter, QRect(10, 6, 30, 12), "ABCDE", fromCorners(10, 10, 109, 13));
    // 64-bit measure: 109 - 4000000006 puts the first 'c' below the int range
    // (skipped), the second at -1999999897 and 'A' at 103.
    row("64-bit sum, right", Qt::AlignRight, QRect(103, 10, 6, 12), "ccA");
    row("64-bit sum, left", 0, QRect(), "ccA");
    row("box far left of the atlas", 0, QRect(20, 10, 6, 12), "dA");
    row("empty string", 0, QRect(), QString());
    row("left > right", 0, QRect(), "ABCDE", fromCorners(50, 10, 49, 49));
    row("top > bottom", 0, QRect(), "ABCDE", fromCorners(10, 50, 109, 49));
}

void tst_QtText::alignment()
{
    QFETCH(QRect, rect);
    QFETCH(int, flags);
    QFETCH(QString, text);
    QFETCH(QRect, drawn);
    const cUniFontMap font(cFontInfo("Zero_12_-1_0_ffff0000_ff000000"));
    QCOMPARE(font.border(), 0);
    // Boxes the loader no longer accepts from a file, set in the loaded node:
    // placement must not wrap whatever boxes a font holds.
    font.mNode->mRects['c'] = QRect(0, 0, 2000000000, 12);  // two of these overflow a 32-bit sum
    font.mNode->mRects['d'] = QRect(-2000000000, 0, 10, 12);
    QCOMPARE(boundsOf(Canvas(320, 80).draw(rect, flags, text, font), kRed), drawn);
}

void tst_QtText::borderGrowthAndAdvance()
{
    const cUniFontMap font(cFontInfo("Grow_12_-1_2_ffff0000_ff000000"));
    QCOMPARE(font.border(), 2);
    Canvas canvas(200, 100);
    const QRect rect(QPoint(20, 20), QPoint(119, 59));

    // One glyph: its box, then 6 more columns and rows of what lies beside it in the atlas.
    const QImage one = canvas.draw(rect, 0, QStringLiteral("A"), font);
    QCOMPARE(boundsOf(one, kRed), QRect(20, 20, 6, 12));
    QCOMPARE(boundsOf(one, kGreen), QRect(20, 20, 12, 18));
    QCOMPARE(dtest::countPixels(one, kBlue), 0);

    // The next glyph starts one glyph width on and covers the earlier one's extra columns.
    const QImage two = canvas.draw(rect, 0, QStringLiteral("AB"), font);
    QCOMPARE(boundsOf(two, kWhite), QRect(26, 20, 5, 12));
    QCOMPARE(boundsOf(two, kGreen), QRect(20, 20, 17, 18));
    QCOMPARE(two.pixel(25, 25), kRed);
    QCOMPARE(two.pixel(31, 25), kGreen);
    QCOMPARE(dtest::countPixels(two, 0), 200 * 100 - 17 * 18);  // nothing more, no blue column or row
}

DTEST_MAIN(tst_QtText)
#include "tst_qttext.moc"
