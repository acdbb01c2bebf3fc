#include <dorurizar/unipaintermarkup.h>

#include <testsupport.h>

#include <QApplication>
#include <QTest>

namespace {
QRect band(int left, int top, int right, int bottom)
{
    QRect r;
    r.setCoords(left, top, right, bottom);
    return r;
}
} // namespace

class tst_UniPainterMarkup : public QObject
{
    Q_OBJECT

private slots:
    void stacks();
    void emptyBandsAndUnknownSides();
    void geometryChangeKeepsTotals();
};

// Top stacks grow downwards, bottom stacks upwards, each on its own.
void tst_UniPainterMarkup::stacks()
{
    cUniPainterMarkup m(band(0, 0, 199, 99));
    QCOMPARE(m.size(), QSize(200, 100));
    QCOMPARE(m.allocateFrom(0, 20), band(8, 0, 191, 19));
    QCOMPARE(m.allocateFrom(0, 20), band(8, 20, 191, 39));
    QCOMPARE(m.allocateFrom(1, 20), band(8, 0, 191, 19));
    QCOMPARE(m.allocateFrom(2, 5), band(8, 0, 191, 4));
    QCOMPARE(m.allocateFrom(0, 100), band(8, 40, 191, 139));  // not limited by the rectangle
    QCOMPARE(m.allocateFrom(3, 10), band(8, 90, 191, 99));
    QCOMPARE(m.allocateFrom(3, 10), band(8, 80, 191, 89));
    QCOMPARE(m.allocateFrom(4, 1), band(8, 99, 191, 99));
    QCOMPARE(m.allocateFrom(5, 30), band(8, 70, 191, 99));
    QCOMPARE(cUniPainterMarkup(band(0, 0, 15, 9)).allocateFrom(0, 3), band(8, 0, 7, 2));  // narrower than the margins
}

void tst_UniPainterMarkup::emptyBandsAndUnknownSides()
{
    cUniPainterMarkup m(band(10, 10, 109, 59));
    QCOMPARE(m.allocateFrom(0, 0), band(18, 10, 101, 9));
    QCOMPARE(m.allocateFrom(0, 5), band(18, 10, 101, 14));  // the empty band took nothing
    QCOMPARE(m.allocateFrom(6, 7), band(18, 0, 101, 6));
    QCOMPARE(m.allocateFrom(-1, 7), band(18, 0, 101, 6));
    for (int total : m.mAllocated)
        QVERIFY(total == 0 || total == 5);
}

void tst_UniPainterMarkup::geometryChangeKeepsTotals()
{
    cUniPainterMarkup m(band(0, 0, 199, 99));
    m.allocateFrom(0, 20);
    m.setGeometry(band(0, 50, 199, 149));
    QCOMPARE(m.geometry(), band(0, 50, 199, 149));
    QCOMPARE(m.allocateFrom(0, 10), band(8, 70, 191, 79));
}

DTEST_MAIN(tst_UniPainterMarkup)
#include "tst_unipaintermarkup.moc"
