#include <dorurizar/qtengine.h>
#include <dorurizar/uniscreen.h>

#include <testsupport.h>

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <functional>

namespace {

QImage pixels(cQTEngine& e, cUniImg& img)
{
    return e.QImagefromUniImage(&img);
}

// A screen widget that runs the screen update from its paint event, as hosts do.
class ScreenWidget : public QWidget
{
public:
    std::function<void()> paint;
    int painted = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++painted;
        if (paint)
            paint();
    }
};

// Renders one frame through the screen and grabs what the X server shows.
QImage paintScreen(ScreenWidget& w, std::function<void()> const& frame)
{
    w.paint = frame;
    const int before = w.painted;
    w.repaint();
    for (int waited = 0; w.painted == before && waited < 5000; waited += 10)
        QTest::qWait(10);
    return w.painted > before ? dtest::grabWidget(&w) : QImage();
}

QRgb blendOver(QRgb dst, QRgb src)
{
    const int a = qAlpha(src);
    auto ch = [a](int s, int d) { return (s * a + d * (255 - a) + 127) / 255; };
    return qRgba(ch(qRed(src), qRed(dst)), ch(qGreen(src), qGreen(dst)), ch(qBlue(src), qBlue(dst)),
                 qMin(255, a + qAlpha(dst) * (255 - a) / 255));
}

bool close(QRgb a, QRgb b, int tolerance = 1)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

} // namespace

class tst_QtEngine : public QObject
{
    Q_OBJECT

private slots:
    void initSetsOpaquePaintAttributes();
    void offScreenUpdateStartsTransparent();
    void updatesAreRefusedWithoutPixelsOrWhenNested();
    void reusedImageNeverShowsTheLastUpdate_data();
    void reusedImageNeverShowsTheLastUpdate();
    void resizeAndDestroyManageTheImage();
    void fillStoresAlphaOffScreen();
    void outlineColoursExactlyTheBorderPixels();
    void gradientWorkedExamples();
    void gradientOnePixelSideDividesByOne();
    void gradientIsClippedToTheImage();
    void gradientFollowsTheRuleEverywhere_data();
    void gradientFollowsTheRuleEverywhere();
    void drawImageScalesAndBlends();
    void drawImageFromHandlesWithoutPixels();
    void drawingDoesNothingWhileIdle();
    void screenUpdateClearsBlackAndBlends();
    void screenOutsidePaintEventIsRefused();
};

void tst_QtEngine::initSetsOpaquePaintAttributes()
{
    cQTEngine e;
    QWidget w;
    QVERIFY(e.init(&w));
    QVERIFY(w.testAttribute(Qt::WA_OpaquePaintEvent));
    QVERIFY(w.testAttribute(Qt::WA_NoSystemBackground));
    QVERIFY(!e.init(nullptr));
}

void tst_QtEngine::offScreenUpdateStartsTransparent()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(16, 8);
    QImage fresh = pixels(e, img);
    QCOMPARE(fresh.format(), QImage::Format_ARGB32);
    QCOMPARE(fresh.size(), QSize(16, 8));
    QCOMPARE(dtest::countPixels(fresh, 0), 16 * 8);

    QVERIFY(img.beginUpdate());
    img.fillRect(img.rect(), Qt::red);
    QVERIFY(img.endUpdate());
    QCOMPARE(dtest::countPixels(pixels(e, img), 0xffff0000), 16 * 8);

    // Drawn before, yet every update starts again from transparent pixels.
    QVERIFY(img.beginUpdate());
    QVERIFY(img.endUpdate());
    QCOMPARE(dtest::countPixels(pixels(e, img), 0), 16 * 8);
}

// An update of an unchanged size reuses its image; whatever the first call
// of the next update is, nothing of the previous update may show through.
void tst_QtEngine::reusedImageNeverShowsTheLastUpdate_data()
{
    QTest::addColumn<int>("firstCall");
    QTest::addColumn<QRgb>("atCorner");  // pixel (0, 0) after the second update
    QTest::addColumn<QRgb>("atCentre");  // pixel (8, 4)
    const QRgb clear = 0;
    QTest::newRow("nothing drawn") << 0 << clear << clear;
    QTest::newRow("opaque picture over all") << 1 << 0xff0000ffu << 0xff0000ffu;
    QTest::newRow("picture with alpha over all") << 2 << 0x800000ffu << 0x800000ffu;
    QTest::newRow("opaque picture over part") << 3 << clear << 0xff0000ffu;
    QTest::newRow("opaque picture partly outside its source") << 4 << 0xff0000ffu << clear;
    QTest::newRow("fill over all") << 5 << 0x40ff00ffu << 0x40ff00ffu;
    QTest::newRow("fill over part") << 6 << clear << 0x40ff00ffu;
    QTest::newRow("gradient over all") << 7 << 0xff00ff00u << 0xff00ff00u;
    QTest::newRow("outline") << 8 << 0xffffff00u << clear;
    QTest::newRow("read back mid-update") << 9 << clear << clear;
}

void tst_QtEngine::reusedImageNeverShowsTheLastUpdate()
{
    QFETCH(int, firstCall);
    QFETCH(QRgb, atCorner);
    QFETCH(QRgb, atCentre);
    cQTEngine e;
    cUniImg img(&e);
    img.resize(16, 8);
    QVERIFY(img.beginUpdate());
    img.fillRect(img.rect(), Qt::red);
    QVERIFY(img.endUpdate());

    QImage opaque(4, 4, QImage::Format_RGB32);
    opaque.fill(Qt::blue);
    QImage withAlpha(4, 4, QImage::Format_ARGB32);
    withAlpha.fill(QColor(0, 0, 255, 128));
    const void* pixelsBefore = e.imageFromData(img.mData)->constBits();

    QVERIFY(img.beginUpdate());
    QImage midUpdate;
    switch (firstCall) {
    case 1: img.drawImage(img.rect(), opaque, opaque.rect()); break;
    case 2: img.drawImage(img.rect(), withAlpha, withAlpha.rect()); break;
    case 3: img.drawImage(QRect(4, 2, 8, 4), opaque, opaque.rect()); break;
    case 4: img.drawImage(QRect(0, 0, 16, 8), opaque, QRect(2, 2, 4, 4)); break;
    case 5: img.fillRect(QRect(-5, -5, 30, 30), QColor(255, 0, 255, 64)); break;
    case 6: img.fillRect(QRect(8, 4, 2, 2), QColor(255, 0, 255, 64)); break;
    case 7: img.drawGradient(img.rect(), Qt::green, Qt::green); break;
    case 8: img.drawRect(img.rect(), Qt::yellow); break;
    case 9: midUpdate = e.QImagefromUniImage(&img); break;
    }
    QVERIFY(img.endUpdate());
    const QImage out = pixels(e, img);
    QCOMPARE(out.pixel(0, 0), atCorner);
    QCOMPARE(out.pixel(8, 4), atCentre);
    QCOMPARE(dtest::countPixels(out, 0xffff0000), 0);
    if (firstCall == 9)
        QCOMPARE(dtest::countPixels(midUpdate, 0), 16 * 8);
    QCOMPARE(e.imageFromData(img.mData)->constBits(), pixelsBefore);  // no new image for the same size
}

void tst_QtEngine::updatesAreRefusedWithoutPixelsOrWhenNested()
{
    cQTEngine e;
    cUniImg unsized(&e);
    QVERIFY(!unsized.beginUpdate());
    QVERIFY(!e.isActive());
    QCOMPARE(e.currentImage(), nullptr);

    cUniImg flat(&e);
    flat.resize(0, 10);
    QVERIFY(!flat.beginUpdate());
    QVERIFY(!e.isActive());

    cUniImg a(&e), b(&e);
    a.resize(4, 4);
    b.resize(4, 4);
    QVERIFY(a.beginUpdate());
    QVERIFY(!b.beginUpdate());
    QCOMPARE(e.currentImage(), &a);  // the first update stays open
    b.fillRect(QRect(0, 0, 4, 4), Qt::green);
    QVERIFY(a.endUpdate());
    QCOMPARE(dtest::countPixels(pixels(e, a), 0xff00ff00), 16);
    QCOMPARE(dtest::countPixels(pixels(e, b), 0), 16);

    cUniScreen screen;  // no widget
    QVERIFY(!e.beginUpdate(&screen));
    QVERIFY(!e.isActive());
}

void tst_QtEngine::resizeAndDestroyManageTheImage()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(5, 5);
    void* first = img.mData;
    QVERIFY(first);
    img.resize(7, 3);
    QCOMPARE(e.imageFromData(img.mData)->size(), QSize(7, 3));
    e.destroyData(&img);
    QCOMPARE(img.mData, nullptr);
    QVERIFY(e.QImagefromUniImage(&img).isNull());
    e.destroyData(nullptr);
}

void tst_QtEngine::fillStoresAlphaOffScreen()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(10, 10);
    const QColor halfBlue(0, 0, 255, 128);
    QVERIFY(img.beginUpdate());
    img.fillRect(img.rect(), Qt::white);
    img.fillRect(QRect(2, 2, 4, 4), halfBlue);
    QVERIFY(img.endUpdate());
    const QImage out = pixels(e, img);
    QCOMPARE(out.pixel(3, 3), halfBlue.rgba());  // replaced, not blended over white
    QCOMPARE(out.pixel(0, 0), 0xffffffffu);
    QCOMPARE(dtest::countPixels(out, halfBlue.rgba()), 16);
}

void tst_QtEngine::outlineColoursExactlyTheBorderPixels()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(20, 20);
    QVERIFY(img.beginUpdate());
    img.drawRect(QRect(0, 0, 10, 10), Qt::red);
    img.drawRect(QRect(12, 12, 5, 3), Qt::green);
    QVERIFY(img.endUpdate());
    const QImage out = pixels(e, img);
    QCOMPARE(dtest::countPixels(out, 0xffff0000), 36);
    QCOMPARE(dtest::countPixels(out, 0xff00ff00), 12);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(out.pixel(i, 0), 0xffff0000u);
        QCOMPARE(out.pixel(i, 9), 0xffff0000u);
        QCOMPARE(out.pixel(0, i), 0xffff0000u);
        QCOMPARE(out.pixel(9, i), 0xffff0000u);
    }
    QCOMPARE(out.pixel(1, 1), 0u);
    QCOMPARE(out.pixel(16, 14), 0xff00ff00u);
    QCOMPARE(out.pixel(17, 14), 0u);
}

void tst_QtEngine::gradientWorkedExamples()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(8, 8);

    QVERIFY(img.beginUpdate());
    img.drawGradient(QRect(0, 0, 4, 4), Qt::black, Qt::white);
    QVERIFY(img.endUpdate());
    QImage out = pixels(e, img);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool blended = (x == 1 || x == 3) && (y == 1 || y == 3);
            QCOMPARE(out.pixel(x, y), blended ? 0xff7f7f7fu : 0xff000000u);
        }
    QCOMPARE(out.pixel(4, 4), 0u);  // nothing outside the rectangle

    // 6 x 6: (3, 3) is the centre and a blended pixel, so it reaches c2.
    QVERIFY(img.beginUpdate());
    img.drawGradient(QRect(0, 0, 6, 6), QColor(10, 20, 30, 40), QColor(200, 100, 50, 250));
    QVERIFY(img.endUpdate());
    out = pixels(e, img);
    QCOMPARE(out.pixel(3, 3), qRgba(200, 100, 50, 250));
    QCOMPARE(dtest::countPixels(out, qRgba(200, 100, 50, 250)), 1);
    // (1, 1): |dx| = |dy| = 2, a = b = 170, k = 86; channels move down as well as up.
    QCOMPARE(out.pixel(1, 1), qRgba(10 + ((190 * 86) >> 8), 20 + ((80 * 86) >> 8), 30 + ((20 * 86) >> 8),
                                    40 + ((210 * 86) >> 8)));
    QCOMPARE(out.pixel(0, 0), qRgba(10, 20, 30, 40));

    // 5 x 5: the centre (3, 3) is not a blended pixel.
    QVERIFY(img.beginUpdate());
    img.drawGradient(QRect(0, 0, 5, 5), Qt::black, Qt::white);
    QVERIFY(img.endUpdate());
    out = pixels(e, img);
    QCOMPARE(dtest::countPixels(out, 0xffffffff), 0);
    QCOMPARE(out.pixel(3, 3), 0xff000000u);

    // A falling channel uses a floor shift: 255 + ((-255 * 128) >> 8) = 127.
    QVERIFY(img.beginUpdate());
    img.drawGradient(QRect(0, 0, 4, 4), Qt::white, Qt::black);
    QVERIFY(img.endUpdate());
    QCOMPARE(pixels(e, img).pixel(1, 1), 0xff7f7f7fu);
}

void tst_QtEngine::gradientOnePixelSideDividesByOne()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(4, 4);
    QVERIFY(img.beginUpdate());
    img.drawGradient(QRect(0, 0, 1, 3), Qt::black, Qt::white);  // halfW would be 0
    img.drawGradient(QRect(2, 0, 1, 1), Qt::black, Qt::white);
    QVERIFY(img.endUpdate());
    const QImage out = pixels(e, img);
    // Column 0: W = 1, H = 3, halfW = 1, halfH = 1; rows 0 and 2 are blended,
    // dy = -2 and 0 -> b = 512 (k = 0) and b = 0 (k = 256).
    QCOMPARE(out.pixel(0, 0), 0xff000000u);
    QCOMPARE(out.pixel(0, 1), 0xff000000u);
    QCOMPARE(out.pixel(0, 2), 0xffffffffu);
    QCOMPARE(out.pixel(2, 0), 0xffffffffu);  // a 1 x 1 rectangle is its own centre
}

void tst_QtEngine::gradientIsClippedToTheImage()
{
    cQTEngine e;
    // The same gradient drawn inside a large image and over the edges of a
    // small one: the small one holds exactly the overlapping part.
    cUniImg big(&e), small(&e);
    big.resize(40, 40);
    small.resize(10, 10);
    const QRect inBig(4, 6, 23, 17);
    const QPoint offset(-10, -12);  // small's origin inside big

    QVERIFY(big.beginUpdate());
    big.drawGradient(inBig, QColor(0, 0, 0), QColor(255, 128, 64));
    QVERIFY(big.endUpdate());
    QVERIFY(small.beginUpdate());
    small.drawGradient(inBig.translated(offset), QColor(0, 0, 0), QColor(255, 128, 64));
    small.drawGradient(QRect(-100000, -100000, 5, 5), Qt::red, Qt::red);  // wholly outside
    small.drawGradient(QRect(8, 8, 100000, 100000), Qt::red, Qt::red);    // far past the end
    QVERIFY(small.endUpdate());

    const QImage b = pixels(e, big), s = pixels(e, small);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            if (x < 8 || y < 8)
                QCOMPARE(s.pixel(x, y), b.pixel(x - offset.x(), y - offset.y()));
    QCOMPARE(dtest::countPixels(s, 0xffff0000), 4);  // the corner that reaches past the end
    QCOMPARE(s.pixel(9, 9), 0xffff0000u);

    // Wider than int: from -2e9 to 2e9 the centre lies at (1, 1) of the image,
    // the blended pixels at even (x, y), all within k = 256 of it.
    QVERIFY(small.beginUpdate());
    small.drawGradient(QRect(QPoint(-2000000000, -2000000000), QPoint(2000000000, 2000000000)), Qt::black,
                       Qt::white);
    QVERIFY(small.endUpdate());
    const QImage huge = pixels(e, small);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            QCOMPARE(huge.pixel(x, y), (x % 2 == 0 && y % 2 == 0) ? 0xffffffffu : 0xff000000u);
}

// The rule written out pixel by pixel, unclipped, into a canvas of its own.
static QRgb referenceGradientPixel(int x, int y, int W, int H, QRgb c1, QRgb c2)
{
    if ((W - x) % 2 == 0 || (H - y) % 2 == 0)
        return c1;
    const int halfW = qMax(W / 2, 1), halfH = qMax(H / 2, 1);
    const int a = qAbs(x + halfW - W) * 256 / halfW;
    const int b = qAbs(y + halfH - H) * 256 / halfH;
    const int k = qMax(256 - qMax(a, b), 0);
    QRgb out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int p = (c1 >> shift) & 0xff, q = (c2 >> shift) & 0xff;
        out |= QRgb((p + (((q - p) * k) >> 8)) & 0xff) << shift;
    }
    return out;
}

void tst_QtEngine::gradientFollowsTheRuleEverywhere_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("7x5 inside") << QSize(12, 12) << QRect(2, 3, 7, 5);
    QTest::newRow("2x2") << QSize(4, 4) << QRect(1, 1, 2, 2);
    QTest::newRow("3x8 odd width") << QSize(10, 10) << QRect(0, 1, 3, 8);
    QTest::newRow("whole 64x48") << QSize(64, 48) << QRect(0, 0, 64, 48);
    QTest::newRow("wide 300x7") << QSize(320, 9) << QRect(5, 1, 300, 7);
    QTest::newRow("past every edge") << QSize(40, 30) << QRect(-13, -7, 71, 45);
    QTest::newRow("left and top cut odd") << QSize(40, 30) << QRect(-3, -5, 20, 21);
    QTest::newRow("wider than one column chunk") << QSize(4200, 6) << QRect(-3, 0, 4203, 5);
    QTest::newRow("chunk edge cut") << QSize(2100, 4) << QRect(-1000, -1, 4096, 7);
}

void tst_QtEngine::gradientFollowsTheRuleEverywhere()
{
    QFETCH(QSize, imageSize);
    QFETCH(QRect, rect);
    const QRgb c1 = qRgba(12, 200, 40, 90), c2 = qRgba(250, 10, 130, 255);
    cQTEngine e;
    cUniImg img(&e);
    img.resize(imageSize);
    QVERIFY(img.beginUpdate());
    img.drawGradient(rect, QColor::fromRgba(c1), QColor::fromRgba(c2));
    QVERIFY(img.endUpdate());
    const QImage out = pixels(e, img);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QRgb expected = rect.contains(x, y)
                ? referenceGradientPixel(x - rect.left(), y - rect.top(), rect.width(), rect.height(), c1, c2)
                : 0u;
            if (out.pixel(x, y) != expected)
                QFAIL(qPrintable(QString("pixel (%1, %2) is %3, expected %4").arg(x).arg(y)
                                     .arg(out.pixel(x, y), 8, 16, QChar('0')).arg(expected, 8, 16, QChar('0'))));
        }
}

void tst_QtEngine::drawImageScalesAndBlends()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(8, 8);
    QImage src(2, 2, QImage::Format_ARGB32);
    src.setPixel(0, 0, 0xffff0000);
    src.setPixel(1, 0, 0xff00ff00);
    src.setPixel(0, 1, 0xff0000ff);
    src.setPixel(1, 1, 0x80ffffff);

    QVERIFY(img.beginUpdate());
    img.fillRect(img.rect(), Qt::black);
    img.drawImage(QRect(0, 0, 4, 4), src, QRect(0, 0, 2, 2));
    img.drawImage(QRect(6, 6, 1, 1), src, QRect(1, 0, 1, 1));
    QVERIFY(img.endUpdate());
    const QImage out = pixels(e, img);
    QCOMPARE(out.pixel(0, 0), 0xffff0000u);
    QCOMPARE(out.pixel(1, 1), 0xffff0000u);
    QCOMPARE(out.pixel(3, 0), 0xff00ff00u);
    QCOMPARE(out.pixel(0, 3), 0xff0000ffu);
    QVERIFY(close(out.pixel(3, 3), blendOver(0xff000000, 0x80ffffff)));  // source-over
    QCOMPARE(out.pixel(6, 6), 0xff00ff00u);
    QCOMPARE(out.pixel(5, 5), 0xff000000u);

    // A handle's image, drawn through the handle form.
    cUniImg tile(&e);
    tile.resize(2, 2);
    QVERIFY(tile.beginUpdate());
    tile.fillRect(tile.rect(), Qt::yellow);
    QVERIFY(tile.endUpdate());
    QVERIFY(img.beginUpdate());
    img.drawImage(QRect(2, 2, 4, 4), tile);
    QVERIFY(img.endUpdate());
    QCOMPARE(dtest::countPixels(pixels(e, img), 0xffffff00), 16);
}

void tst_QtEngine::drawImageFromHandlesWithoutPixels()
{
    cQTEngine e;
    cUniImg img(&e), empty(&e);
    img.resize(4, 4);
    cUniScreen screen;
    QWidget w;
    screen.setWidget(&w);
    screen.mData = &w;  // what the engine keeps for a screen

    QVERIFY(img.beginUpdate());
    img.drawImage(img.rect(), empty);
    img.drawImage(img.rect(), screen, QRect(0, 0, 4, 4));
    QVERIFY(img.endUpdate());
    QCOMPARE(dtest::countPixels(pixels(e, img), 0), 16);
    QVERIFY(e.QImagefromUniImage(&screen).isNull());
}

void tst_QtEngine::drawingDoesNothingWhileIdle()
{
    cQTEngine e;
    cUniImg img(&e);
    img.resize(4, 4);
    e.fillRect(QRect(0, 0, 4, 4), Qt::red);
    e.drawRect(QRect(0, 0, 4, 4), Qt::red);
    e.drawGradient(QRect(0, 0, 4, 4), Qt::red, Qt::red);
    e.drawImage(QRect(0, 0, 4, 4), QImage(4, 4, QImage::Format_ARGB32), QRect(0, 0, 4, 4));
    QCOMPARE(dtest::countPixels(pixels(e, img), 0), 16);
}

void tst_QtEngine::screenUpdateClearsBlackAndBlends()
{
    cQTEngine e;
    ScreenWidget w;
    w.resize(64, 48);
    QVERIFY(e.init(&w));
    cUniScreen screen;
    screen.setWidget(&w);
    cUniImg::switchEngine(&e);
    QVERIFY(dtest::showAndWait(&w));

    cUniImg tile(&e);
    tile.resize(8, 8);
    QVERIFY(tile.beginUpdate());
    tile.fillRect(tile.rect(), QColor(0, 255, 0, 128));  // stored with its alpha
    QVERIFY(tile.endUpdate());

    bool began = false, ended = false;
    const QImage shown = paintScreen(w, [&] {
        began = screen.beginUpdate();
        screen.fillRect(QRect(10, 10, 10, 10), QColor(255, 0, 0, 128));
        screen.drawImage(QRect(30, 10, 16, 16), tile);
        screen.drawGradient(QRect(0, 30, 10, 10), Qt::white, Qt::white);  // no pixels to write on a widget
        ended = screen.endUpdate();
    });
    QVERIFY(began);
    QVERIFY(ended);
    QCOMPARE(screen.mData, static_cast<void*>(&w));
    QCOMPARE(shown.size(), QSize(64, 48));
    QCOMPARE(shown.pixel(0, 0), 0xff000000u);
    QCOMPARE(shown.pixel(5, 35), 0xff000000u);
    QVERIFY(close(shown.pixel(15, 15), 0xff800000));  // blended over black
    QVERIFY(close(shown.pixel(40, 20), 0xff008000));
    cUniImg::mCurrentEngine = nullptr;
}

void tst_QtEngine::screenOutsidePaintEventIsRefused()
{
    cQTEngine e;
    ScreenWidget w;
    w.resize(32, 32);
    cUniScreen screen;  // follows the current engine
    screen.setWidget(&w);
    cUniImg::switchEngine(&e);
    QVERIFY(dtest::showAndWait(&w));
    QTest::ignoreMessage(QtWarningMsg, "QWidget::paintEngine: Should no longer be called");
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin: Paint device returned engine == 0, type: 1");
    QVERIFY(!screen.beginUpdate());
    QVERIFY(!e.isActive());
    QCOMPARE(e.currentImage(), nullptr);
    cUniImg::mCurrentEngine = nullptr;
}

DTEST_MAIN(tst_QtEngine)
#include "tst_qtengine.moc"
