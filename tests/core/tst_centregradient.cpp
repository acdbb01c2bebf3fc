// The centre gradient, written out naively here, against the one writer that
// every engine calls. The writer is private to the library; the Qt engine
// hands it an off-screen image's memory as it is, so that image is the buffer.

#include <dorurizar/qtengine.h>
#include <dorurizar/uniimg.h>

#include <testsupport.h>

#include <QApplication>
#include <QTest>

namespace {

// Pixel (x, y) of a W x H gradient, relative to its rectangle.
QRgb rulePixel(qint64 x, qint64 y, qint64 W, qint64 H, QRgb c1, QRgb c2)
{
    if ((W - x) % 2 == 0 || (H - y) % 2 == 0)
        return c1;
    const qint64 halfW = qMax<qint64>(W / 2, 1), halfH = qMax<qint64>(H / 2, 1);
    const qint64 a = qAbs(x + halfW - W) * 256 / halfW;
    const qint64 b = qAbs(y + halfH - H) * 256 / halfH;
    const int k = int(qMax<qint64>(256 - qMax(a, b), 0));
    QRgb out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int p = (c1 >> shift) & 0xff, q = (c2 >> shift) & 0xff;
        out |= QRgb((p + (((q - p) * k) >> 8)) & 0xff) << shift;
    }
    return out;
}

QImage drawn(QSize size, QRect const& rect, QRgb c1, QRgb c2)
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(size);
    img.beginUpdate();
    img.drawGradient(rect, QColor::fromRgba(c1), QColor::fromRgba(c2));
    img.endUpdate();
    return e.QImagefromUniImage(&img);
}

} // namespace

class tst_CentreGradient : public QObject
{
    Q_OBJECT

private slots:
    void followsTheRule_data();
    void followsTheRule();
    void workedPixels_data();
    void workedPixels();
};

void tst_CentreGradient::followsTheRule_data()
{
    QTest::addColumn<QSize>("bufferSize");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("7x5 inside") << QSize(12, 12) << QRect(2, 3, 7, 5);
    QTest::newRow("2x2") << QSize(4, 4) << QRect(1, 1, 2, 2);
    QTest::newRow("3x8 odd width") << QSize(10, 10) << QRect(0, 1, 3, 8);
    QTest::newRow("whole 64x48") << QSize(64, 48) << QRect(0, 0, 64, 48);
    QTest::newRow("one pixel wide") << QSize(4, 4) << QRect(0, 0, 1, 3);
    QTest::newRow("one pixel high") << QSize(9, 4) << QRect(1, 2, 7, 1);
    QTest::newRow("1x1") << QSize(4, 4) << QRect(2, 0, 1, 1);
    QTest::newRow("empty") << QSize(4, 4) << QRect(1, 1, 0, 2);
    QTest::newRow("wide 300x7") << QSize(320, 9) << QRect(5, 1, 300, 7);
    QTest::newRow("past every edge") << QSize(40, 30) << QRect(-13, -7, 71, 45);
    QTest::newRow("left and top cut odd") << QSize(40, 30) << QRect(-3, -5, 20, 21);
    QTest::newRow("wholly outside") << QSize(10, 10) << QRect(-100000, -100000, 5, 5);
    QTest::newRow("far past the end") << QSize(10, 10) << QRect(8, 8, 100000, 100000);
    QTest::newRow("wider than one column chunk") << QSize(4200, 6) << QRect(-3, 0, 4203, 5);
    QTest::newRow("chunk edge cut") << QSize(2100, 4) << QRect(-1000, -1, 4096, 7);
    QTest::newRow("wider than int") << QSize(10, 10)
                                    << QRect(QPoint(-2000000000, -2000000000), QPoint(2000000000, 2000000000));
}

void tst_CentreGradient::followsTheRule()
{
    QFETCH(QSize, bufferSize);
    QFETCH(QRect, rect);
    const QRgb c1 = qRgba(12, 200, 40, 90), c2 = qRgba(250, 10, 130, 255);  // channels rise and fall
    const QImage out = drawn(bufferSize, rect, c1, c2);
    const qint64 W = qint64(rect.right()) - rect.left() + 1, H = qint64(rect.bottom()) - rect.top() + 1;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const qint64 rx = qint64(x) - rect.left(), ry = qint64(y) - rect.top();
            const QRgb expected = rx >= 0 && rx < W && ry >= 0 && ry < H ? rulePixel(rx, ry, W, H, c1, c2) : 0u;
            if (out.pixel(x, y) != expected)
                QFAIL(qPrintable(QString::asprintf("(%d, %d) is %08x, not %08x", x, y, out.pixel(x, y), expected)));
        }
}

// Pixels worked out by hand, which also keep the rule above honest.
void tst_CentreGradient::workedPixels_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QRgb>("c1");
    QTest::addColumn<QRgb>("c2");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QRgb>("expected");
    const QRgb k = 0xff000000, w = 0xffffffff, from = qRgba(10, 20, 30, 40), to = qRgba(200, 100, 50, 250);
    const QRect r4(0, 0, 4, 4), r6(0, 0, 6, 6);
    // |dx| = |dy| = 1 of halves 2: k = 128, 255 * 128 >> 8 = 127.
    QTest::newRow("4x4 blended") << r4 << k << w << QPoint(1, 1) << 0xff7f7f7fu;
    QTest::newRow("4x4 centre is not blended") << r4 << k << w << QPoint(2, 2) << k;
    QTest::newRow("falling channel shifts to floor") << r4 << w << k << QPoint(3, 3) << 0xff7f7f7fu;
    QTest::newRow("6x6 centre reaches c2") << r6 << from << to << QPoint(3, 3) << to;
    // |dx| = |dy| = 2 of halves 3: k = 256 - 170 = 86.
    QTest::newRow("6x6 k = 86") << r6 << from << to << QPoint(1, 1) << qRgba(73, 46, 36, 110);
    QTest::newRow("6x6 unblended") << r6 << from << to << QPoint(0, 0) << from;
    QTest::newRow("5x5 centre is not blended") << QRect(0, 0, 5, 5) << k << w << QPoint(3, 3) << k;
    // One pixel wide: the half width counts as 1.
    QTest::newRow("1x3 top") << QRect(0, 0, 1, 3) << k << w << QPoint(0, 0) << k;
    QTest::newRow("1x3 bottom") << QRect(0, 0, 1, 3) << k << w << QPoint(0, 2) << w;
    QTest::newRow("1x1 is its own centre") << QRect(2, 0, 1, 1) << k << w << QPoint(2, 0) << w;
    // From -2e9 to 2e9 the centre lies at (1, 1): the blended pixels sit at even x and y.
    const QRect huge(QPoint(-2000000000, -2000000000), QPoint(2000000000, 2000000000));
    QTest::newRow("huge blended") << huge << k << w << QPoint(8, 4) << w;
    QTest::newRow("huge unblended") << huge << k << w << QPoint(7, 4) << k;
}

void tst_CentreGradient::workedPixels()
{
    QFETCH(QRect, rect);
    QFETCH(QRgb, c1);
    QFETCH(QRgb, c2);
    QFETCH(QPoint, at);
    QFETCH(QRgb, expected);
    QCOMPARE(drawn(QSize(10, 10), rect, c1, c2).pixel(at), expected);
}

DTEST_MAIN(tst_CentreGradient)
#include "tst_centregradient.moc"
