#include <dorurizar/qtengine.h>
#include <dorurizar/uniscreen.h>

#include <testsupport.h>
#include <yuvbars.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <functional>
#include <memory>

namespace {

// A screen widget that runs the screen update from its paint event, as hosts do.
class ScreenWidget : public QWidget
{
public:
    std::function<void()> paint = [] {};

protected:
    void paintEvent(QPaintEvent*) override { paint(); }
};

bool close(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= 1 && qAbs(qGreen(a) - qGreen(b)) <= 1 && qAbs(qBlue(a) - qBlue(b)) <= 1
        && qAbs(qAlpha(a) - qAlpha(b)) <= 1;
}

} // namespace

class tst_QtEngine : public QObject
{
    Q_OBJECT

private slots:
    // An update of an unchanged size reuses its image; whatever the first call
    // of the next update is, nothing of the previous update may show through.
    void reusedImageNeverShowsTheLastUpdate_data()
    {
        QTest::addColumn<int>("firstCall");
        QTest::addColumn<QRgb>("atCorner");  // pixel (0, 0) after the second update
        QTest::addColumn<QRgb>("atCentre");  // pixel (8, 4)
        QTest::newRow("nothing drawn") << 0 << 0u << 0u;
        QTest::newRow("opaque picture over all") << 1 << 0xff0000ffu << 0xff0000ffu;
        QTest::newRow("picture with alpha over all") << 2 << 0x800000ffu << 0x800000ffu;
        QTest::newRow("opaque picture over part") << 3 << 0u << 0xff0000ffu;
        QTest::newRow("opaque picture partly outside its source") << 4 << 0xff0000ffu << 0u;
        QTest::newRow("fill over all") << 5 << 0x40ff00ffu << 0x40ff00ffu;
        QTest::newRow("fill over part") << 6 << 0u << 0x40ff00ffu;
        QTest::newRow("gradient over all") << 7 << 0xff00ff00u << 0xff00ff00u;
        QTest::newRow("outline") << 8 << 0xffffff00u << 0u;
        QTest::newRow("read back mid-update") << 9 << 0u << 0u;
    }

    void reusedImageNeverShowsTheLastUpdate()
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
        QImage opaque(4, 4, QImage::Format_RGB32), withAlpha(4, 4, QImage::Format_ARGB32), midUpdate;
        opaque.fill(Qt::blue);
        withAlpha.fill(QColor(0, 0, 255, 128));
        const void* pixelsBefore = e.imageFromData(img.mData)->constBits();

        QVERIFY(img.beginUpdate());
        switch (firstCall) {
        case 1: img.drawImage(img.rect(), opaque, opaque.rect()); break;
        case 2: img.drawImage(img.rect(), withAlpha, withAlpha.rect()); break;
        case 3: img.drawImage(QRect(4, 2, 8, 4), opaque, opaque.rect()); break;
        case 4: img.drawImage(QRect(0, 0, 16, 8), opaque, QRect(2, 2, 4, 4)); break;
        case 5: img.fillRect(QRect(-5, -5, 30, 30), QColor(255, 0, 255, 64)); break;
        case 6: img.fillRect(QRect(8, 4, 2, 2), QColor(255, 0, 255, 64)); break;
        case 7: img.drawGradient(img.rect(), Qt::green, Qt::green); break;
        case 8: img.drawRect(img.rect(), Qt::yellow); break;
        case 9: QCOMPARE(dtest::countPixels(e.QImagefromUniImage(&img), 0), 16 * 8); break;
        }
        QVERIFY(img.endUpdate());
        const QImage out = e.QImagefromUniImage(&img);
        QCOMPARE(out.pixel(0, 0), atCorner);
        QCOMPARE(out.pixel(8, 4), atCentre);
        QCOMPARE(dtest::countPixels(out, 0xffff0000), 0);
        QCOMPARE(e.imageFromData(img.mData)->constBits(), pixelsBefore);  // no new image for the same size
    }

    void refusedUpdatesAndHandlesWithoutPixels()
    {
        cQTEngine e;
        cUniImg unsized(&e), flat(&e), a(&e), b(&e);
        cUniScreen screen;  // no widget
        flat.resize(0, 10);
        for (cUniImg* refused : {&unsized, &flat, static_cast<cUniImg*>(&screen)}) {
            QVERIFY(!e.beginUpdate(refused) && !e.isActive() && !e.currentImage());
        }

        a.resize(5, 5);
        a.resize(7, 3);
        QVERIFY(a.beginUpdate() && (a.fillRect(a.rect(), Qt::red), a.endUpdate()));
        a.resize(7, 3);  // outside an update even the same size starts transparent
        b.resize(7, 3);
        const QImage fresh = e.QImagefromUniImage(&a);
        QVERIFY(fresh.format() == QImage::Format_ARGB32 && fresh.size() == QSize(7, 3) && dtest::countPixels(fresh, 0) == 21);

        // A nested update is refused and the first stays open. Handles without
        // pixels, the screen among them, draw nothing.
        QWidget w;
        screen.setWidget(&w);
        screen.mData = &w;  // what the engine keeps for a screen
        QVERIFY(a.beginUpdate() && !b.beginUpdate());
        QCOMPARE(e.currentImage(), &a);
        b.fillRect(QRect(0, 0, 4, 4), Qt::green);
        a.drawImage(a.rect(), unsized);
        a.drawImage(a.rect(), screen, QRect(0, 0, 4, 4));
        QVERIFY(a.endUpdate());
        const QImage drawn = e.QImagefromUniImage(&a);
        QCOMPARE(dtest::countPixels(drawn, 0xff00ff00), 4 * 3);
        QCOMPARE(dtest::countPixels(drawn, 0), 7 * 3 - 4 * 3);
        QCOMPARE(dtest::countPixels(e.QImagefromUniImage(&b), 0), 7 * 3);
        QVERIFY(e.QImagefromUniImage(&screen).isNull());

        e.destroyData(&a);
        QCOMPARE(a.mData, nullptr);
        QVERIFY(e.QImagefromUniImage(&a).isNull());
        e.destroyData(nullptr);
    }

    // Qt lets a painter begin on a widget only inside its paint event: the host
    // updates the screen from there, on a widget init() made opaque.
    void screenUpdateFromPaintEvent()
    {
        cQTEngine e;
        ScreenWidget w;
        w.resize(64, 48);
        QVERIFY(e.init(&w));
        QVERIFY(w.testAttribute(Qt::WA_OpaquePaintEvent) && w.testAttribute(Qt::WA_NoSystemBackground));
        QVERIFY(!cQTEngine().init(nullptr));
        QCOMPARE(e.metaObject()->className(), "cDorUrizar");  // no meta-object of its own
        cUniScreen screen;  // follows the current engine
        screen.setWidget(&w);
        cUniImg::switchEngine(&e);
        QVERIFY(dtest::showAndWait(&w));
        QTest::ignoreMessage(QtWarningMsg, "QWidget::paintEngine: Should no longer be called");
        QTest::ignoreMessage(QtWarningMsg, "QPainter::begin: Paint device returned engine == 0, type: 1");
        QVERIFY(!screen.beginUpdate() && !e.isActive() && !e.currentImage());

        cUniImg tile(&e);
        tile.resize(8, 8);
        QVERIFY(tile.beginUpdate());
        tile.fillRect(tile.rect(), QColor(0, 255, 0, 128));  // stored with its alpha
        QVERIFY(tile.endUpdate());
        const dtest::YuvBars bars = dtest::yuvBars(cUniYuvFrame::I420, QSize(16, 8), cUniYuvFrame::BT601,
                                                   cUniYuvFrame::Limited);
        bool began = false, ended = false;
        w.paint = [&] {
            began = screen.beginUpdate();
            screen.fillRect(QRect(10, 10, 10, 10), QColor(255, 0, 0, 128));
            screen.drawImage(QRect(30, 10, 16, 16), tile);
            screen.drawGradient(QRect(0, 30, 10, 10), Qt::white, Qt::white);  // no pixels to write on a widget
            screen.drawImage(QRect(48, 30, 16, 8), bars.frame, bars.frame.rect());
            ended = screen.endUpdate();
        };
        w.repaint();
        QTRY_VERIFY(ended);
        QVERIFY(began);
        const QImage shown = dtest::grabWidget(&w);
        QCOMPARE(screen.mData, static_cast<void*>(&w));
        QCOMPARE(shown.size(), QSize(64, 48));
        QCOMPARE(shown.pixel(0, 0), 0xff000000u);  // cleared black
        QCOMPARE(shown.pixel(5, 35), 0xff000000u);
        QVERIFY(close(shown.pixel(15, 15), 0xff800000));  // blended over black
        QVERIFY(close(shown.pixel(40, 20), 0xff008000));
        for (int x = 0; x < 16; ++x)  // a video frame, converted where it shows
            QVERIFY2(close(shown.pixel(48 + x, 34), bars.reference.pixel(x, 4)), qPrintable(QString::number(x)));
        cUniImg::mCurrentEngine = nullptr;
    }

    // Regressions: a handle resized, or destroyed, mid-update left the painter on
    // a deleted image.
    void handleChangedMidUpdate()
    {
        DTEST_IN_CHILD(30000);
        cQTEngine e;
        std::unique_ptr<cUniImg> img(new cUniImg(&e));
        img->resize(5, 5);
        QVERIFY(img->beginUpdate());
        img->resize(12, 6);  // the update goes on in the new image
        img->fillRect(img->rect(), Qt::red);
        QVERIFY(e.isActive());
        QCOMPARE(dtest::countPixels(e.QImagefromUniImage(img.get()), 0xffff0000), 12 * 6);
        img.reset();
        QVERIFY(!e.isActive() && !e.currentImage());
    }

    // Regression: an indexed picture without a colour table crashed the painter.
    // Converted, it draws as grey levels, and past a short table as transparent.
    void indexedPicturesConverted()
    {
        DTEST_IN_CHILD(30000);
        QImage indexed(3, 3, QImage::Format_Indexed8);
        indexed.fill(5);
        cQTEngine e;
        cUniImg img(&e);
        img.resize(6, 6);
        QVERIFY(img.beginUpdate());
        img.fillRect(img.rect(), Qt::blue);
        img.drawImage(QRect(0, 0, 3, 6), indexed, indexed.rect());
        indexed.setColorTable({0xffff0000u});
        img.drawImage(QRect(3, 0, 3, 6), indexed, indexed.rect());
        QCOMPARE(dtest::countPixels(e.QImagefromUniImage(&img), 0xff050505), 18);
        QCOMPARE(dtest::countPixels(e.QImagefromUniImage(&img), 0xff0000ff), 18);
    }
};

DTEST_MAIN(tst_QtEngine)
#include "tst_qtengine.moc"
