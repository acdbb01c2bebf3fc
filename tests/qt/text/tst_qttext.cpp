// Qt engine text on real pixels: placement by the alignment flags, the cell
// grown by 3 x border, the advance by glyph width, and hostile glyph boxes.
// Atlases come from a cache written here, so each case runs in its own child.

#include <dorurizar/qtengine.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/unifontmap.h>
#include <childcheck.h>
#include <atlasfile.h>

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QRgb kRed = 0xffff0000;
const QRgb kWhite = 0xffffffff;
const QRgb kGreen = 0xff00ff00;
const QRgb kBlue = 0xff0000ff;

int widthSix(int b)
{
    return b >= 32 ? 6 : 0;
}

// Glyph box filled with `fill`, the 3 x B pixels right of and below it green,
// and the next column and row blue: a correct engine never copies blue.
void paintProbeGlyph(QImage& img, QRect const& box, int B, QRgb fill)
{
    QPainter p(&img);
    p.fillRect(QRect(box.topLeft(), QSize(box.width() + 3 * B + 1, box.height() + 3 * B + 1)), QColor::fromRgba(kBlue));
    p.fillRect(QRect(box.topLeft(), QSize(box.width() + 3 * B, box.height() + 3 * B)), QColor::fromRgba(kGreen));
    p.fillRect(box, QColor::fromRgba(fill));
}

bool writeAtlases(QTemporaryDir const& tmp)
{
    cFontInfo::makeCacheBasePath(tmp.path());
    const atlasfile::Synthetic zero = atlasfile::makeSynthetic(widthSix, 12, 0, kRed, 0xff000000);
    if (!atlasfile::writeAtlas(tmp.path(), QStringLiteral("Zero_12_-1_0_ffff0000_ff000000"), zero.image, zero.boxes))
        return false;

    QImage grow(80, 40, QImage::Format_ARGB32);
    grow.fill(0);
    QVector<QRect> boxes(256, QRect(0, 0, 0, 0));
    boxes['A'] = QRect(10, 5, 6, 12);
    boxes['B'] = QRect(40, 5, 5, 12);
    paintProbeGlyph(grow, boxes['A'], 2, kRed);
    paintProbeGlyph(grow, boxes['B'], 2, kWhite);
    if (!atlasfile::writeAtlas(tmp.path(), QStringLiteral("Grow_12_-1_2_ffff0000_ff000000"), grow, boxes))
        return false;

    QVector<QRect> hostile = zero.boxes;
    hostile['a'] = QRect(5000, 7000, 10, 10);     // outside the image
    hostile['b'] = QRect(3, 4, -5, -6);           // negative size
    hostile['c'] = QRect(0, 0, 2000000000, 12);   // two of these overflow a 32-bit sum
    hostile['d'] = QRect(-2000000000, 0, 10, 12);
    return atlasfile::writeAtlas(tmp.path(), QStringLiteral("Hostile_12_-1_2_ffff0000_ff000000"), zero.image, hostile);
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

} // namespace

DTEST_CHILD(alignment)
{
    QTemporaryDir tmp;
    CHECK(writeAtlases(tmp));
    cUniFontMap font(cFontInfo("Zero_12_-1_0_ffff0000_ff000000"));
    CHECK_EQ(font.border(), 0);
    Canvas canvas(320, 80);
    const QRect rect(QPoint(10, 10), QPoint(109, 49));
    const QString text = QStringLiteral("ABCDE");  // 30 x 12

    struct Placement {
        QRect rect;
        int flags;
        QString text;
        QRect drawn;
    } const placements[] = {
        {rect, 0, text, QRect(10, 10, 30, 12)},
        {rect, Qt::AlignRight | Qt::AlignBottom, text, QRect(79, 37, 30, 12)},
        {rect, Qt::AlignCenter, text, QRect(45, 24, 30, 12)},
        // Bottom and right win.
        {rect, Qt::AlignBottom | Qt::AlignVCenter | Qt::AlignRight | Qt::AlignHCenter, text, QRect(79, 37, 30, 12)},
        // Other bits are ignored.
        {rect, Qt::AlignVCenter | Qt::TextWordWrap | Qt::AlignJustify, text, QRect(10, 24, 30, 12)},
        // Nothing is clipped: a string wider than the rectangle runs past it, to the left when right-aligned.
        {QRect(QPoint(150, 10), QPoint(199, 49)), Qt::AlignRight, QStringLiteral("ABCDEFGHIJKLMNOPQRST"),
         QRect(79, 10, 120, 12)},
    };
    for (Placement const& p : placements)
        CHECK_EQ(boundsOf(canvas.draw(p.rect, p.flags, p.text, font), kRed), p.drawn);

    CHECK_EQ(dtest::countPixels(canvas.draw(rect, 0, QString(), font), kRed), 0);
    CHECK_EQ(dtest::countPixels(canvas.draw(QRect(QPoint(50, 10), QPoint(49, 49)), 0, text, font), kRed), 0);
    CHECK_EQ(dtest::countPixels(canvas.draw(QRect(QPoint(10, 50), QPoint(109, 49)), 0, text, font), kRed), 0);
    cUniFontMap none;
    CHECK_EQ(dtest::countPixels(canvas.draw(rect, 0, text, none), 0), 320 * 80);
    return 0;
}

DTEST_CHILD(borderGrowthAndAdvance)
{
    QTemporaryDir tmp;
    CHECK(writeAtlases(tmp));
    cUniFontMap font(cFontInfo("Grow_12_-1_2_ffff0000_ff000000"));
    CHECK_EQ(font.border(), 2);
    Canvas canvas(200, 100);
    const QRect rect(QPoint(20, 20), QPoint(119, 59));

    // One glyph: its box, then 6 more columns and rows of what lies beside it in the atlas.
    QImage one = canvas.draw(rect, 0, QStringLiteral("A"), font);
    CHECK_EQ(boundsOf(one, kRed), QRect(20, 20, 6, 12));
    CHECK_EQ(boundsOf(one, kGreen), QRect(20, 20, 12, 18));
    CHECK_EQ(dtest::countPixels(one, kBlue), 0);

    // The next glyph starts one glyph width on and covers the earlier one's extra columns.
    QImage two = canvas.draw(rect, 0, QStringLiteral("AB"), font);
    CHECK_PIXEL(two, 25, 25, kRed, 0);
    CHECK_PIXEL(two, 26, 25, kWhite, 0);
    CHECK_PIXEL(two, 30, 25, kWhite, 0);
    CHECK_PIXEL(two, 31, 25, kGreen, 0);
    CHECK_PIXEL(two, 36, 25, kGreen, 0);
    CHECK_EQ(qAlpha(two.pixel(37, 25)), 0);
    CHECK_PIXEL(two, 20, 37, kGreen, 0);
    CHECK_EQ(qAlpha(two.pixel(20, 38)), 0);
    CHECK_EQ(dtest::countPixels(two, kBlue), 0);
    return 0;
}

// Regression: boxes outside the atlas or with sums past the int range must
// neither crash nor read outside the image (run under the sanitizers too).
DTEST_CHILD(hostileBoxesDrawSafely)
{
    QTemporaryDir tmp;
    CHECK(writeAtlases(tmp));
    cUniFontMap font(cFontInfo("Hostile_12_-1_2_ffff0000_ff000000"));
    CHECK(font.mNode && font.mNode->mInfo.mFamily == QLatin1String("Hostile"));
    Canvas canvas(200, 60);
    const QRect rect(QPoint(0, 0), QPoint(199, 59));
    for (int flags : {0, int(Qt::AlignRight), int(Qt::AlignCenter)}) {
        canvas.draw(rect, flags, QStringLiteral("abab"), font);
        canvas.draw(rect, flags, QStringLiteral("ccccA"), font);
        canvas.draw(rect, flags, QStringLiteral("dAd"), font);
    }
    CHECK(boundsOf(canvas.draw(rect, 0, QStringLiteral("A"), font), kRed).contains(QRect(0, 0, 6, 12)));
    return 0;
}

class tst_QtText : public QObject
{
    Q_OBJECT

private slots:
    void alignment() { EXPECT_CHILD_PASSES("alignment"); }
    void borderGrowthAndAdvance() { EXPECT_CHILD_PASSES("borderGrowthAndAdvance"); }
    void hostileBoxesDrawSafely() { EXPECT_CHILD_PASSES("hostileBoxesDrawSafely"); }
};

DTEST_MAIN(tst_QtText)
#include "tst_qttext.moc"
