// The handles and the engine base class they dispatch to, seen through an
// engine that records what reaches it as text.

#include <dorurizar/dorurizar.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>

#include <testsupport.h>
#include <yuvbars.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <utility>

namespace {

class RecordingEngine : public cDorUrizar
{
public:
    QStringList calls;
    cUniImg* lastTarget = nullptr;  // current image when a drawing call arrived
    void* destroyedData = nullptr;  // img->mData as destroyData() found it

    // "resize 8x6 over 2x3", and " current" when img is the current image.
    void resize(cUniImg* img, QSize const& size) override
    {
        calls << QStringLiteral("resize %1x%2 over %3x%4%5")
                     .arg(size.width()).arg(size.height()).arg(img->size().width()).arg(img->size().height())
                     .arg(img == currentImage() ? " current" : "");
    }
    void destroyData(cUniImg* img) override
    {
        calls << QStringLiteral("destroyData");
        destroyedData = std::exchange(img->mData, nullptr);
    }
    void drawImage(QRect const&, QImage const&, QRect const&) override { record(QStringLiteral("drawImage")); }
    void drawImage(QRect const&, cUniImg&, QRect const& s) override
    {
        record(QStringLiteral("drawImage from %1,%2 %3x%4").arg(s.x()).arg(s.y()).arg(s.width()).arg(s.height()));
    }
    void fillRect(QRect const&, QColor const&) override { record(QStringLiteral("fillRect")); }
    void drawRect(QRect const&, QColor const&) override { record(QStringLiteral("drawRect")); }
    void drawGradient(QRect const&, QColor const&, QColor const&) override { record(QStringLiteral("drawGradient")); }
    void drawText(QRect const&, int, QString const&, cUniFontMap const&) override { record("drawText"); }

private:
    void record(QString const& call) { calls << call; lastTarget = currentImage(); }
};

} // namespace

class tst_UniImg : public QObject
{
    Q_OBJECT

private slots:
    void init() { cUniImg::mCurrentEngine = nullptr; }
    void cleanup() { cUniImg::mCurrentEngine = nullptr; }

    void engineUpdateCycle();
    void newHandleAndSwitchEngine();
    void ownEngineWinsOverCurrentOne();
    void withoutEngineNothingHappens();
    void resizeReachesEngineBeforeSizeIsStored();
    void destructorFreesDataThroughEngine();
    void yuvFramesUpToTheSideLimit();
};

void tst_UniImg::engineUpdateCycle()
{
    RecordingEngine e;
    QVERIFY(!e.isActive());
    QVERIFY(e.init(nullptr));
    QVERIFY(!e.beginUpdate(nullptr));
    QCOMPARE(e.currentImage(), nullptr);
    QVERIFY(e.endUpdate(nullptr));  // nothing open

    // The image is recorded before the engine resizes it to its own size.
    cUniImg img(&e), other(&e);
    img.mSize = QSize(30, 20);
    QVERIFY(img.beginUpdate());
    QCOMPARE(e.currentImage(), &img);
    QVERIFY(e.isActive());
    QCOMPARE(e.calls, QStringList{"resize 30x20 over 30x20 current"});
    other.fillRect(QRect(1, 1, 2, 2), Qt::blue);  // lands in img, the image being updated
    QCOMPARE(e.lastTarget, &img);
    QVERIFY(!e.beginUpdate(nullptr));
    QCOMPARE(e.currentImage(), &img);

    // The base does not refuse nesting: a second image replaces the first.
    QVERIFY(other.beginUpdate());
    QCOMPARE(e.currentImage(), &other);
    QVERIFY(img.endUpdate());  // any call ends the open update
    QCOMPARE(e.currentImage(), nullptr);
    QVERIFY(!e.isActive());

    // The base's own data operations leave the data alone.
    int token = 0;
    img.mData = &token;
    e.cDorUrizar::resize(&img, QSize(5, 5));
    e.cDorUrizar::destroyData(&img);
    QCOMPARE(img.mData, static_cast<void*>(&token));
}

void tst_UniImg::newHandleAndSwitchEngine()
{
    RecordingEngine e1, e2;
    QCOMPARE(cUniImg::switchEngine(&e1), nullptr);
    cUniImg img;
    QCOMPARE(img.size(), QSize(-1, -1));
    QCOMPARE(img.rect(), QRect(QPoint(0, 0), QPoint(-2, -2)));
    QCOMPARE(img.mData, nullptr);
    QCOMPARE(img.currentEngine(), static_cast<cDorUrizar*>(&e1));
    QVERIFY(e1.calls.isEmpty());  // construction creates no engine data

    QCOMPARE(cUniImg::switchEngine(&e2), static_cast<cDorUrizar*>(&e1));
    QCOMPARE(cUniImg::switchEngine(nullptr), nullptr);
    QCOMPARE(cUniImg::mCurrentEngine, static_cast<cDorUrizar*>(&e2));
}

void tst_UniImg::ownEngineWinsOverCurrentOne()
{
    RecordingEngine own, current, later;
    cUniImg::switchEngine(&current);
    cUniImg img(&own);
    cUniImg::switchEngine(&later);
    img.fillRect(QRect(1, 2, 3, 4), Qt::red);

    // The source handle's engine plays no part, and without a source
    // rectangle the whole source is drawn.
    cUniImg follower;
    follower.resize(7, 3);
    img.drawImage(QRect(0, 0, 2, 2), follower);
    QCOMPARE(own.calls, (QStringList{"fillRect", "drawImage from 0,0 7x3"}));
    QVERIFY(current.calls.isEmpty());
    QCOMPARE(later.calls, QStringList{"resize 7x3 over -1x-1"});
}

void tst_UniImg::withoutEngineNothingHappens()
{
    cUniImg img;
    QCOMPARE(img.currentEngine(), nullptr);
    QVERIFY(!img.beginUpdate());
    QVERIFY(!img.endUpdate());
    img.resize(10, 20);
    QCOMPARE(img.size(), QSize(10, 20));
    img.fillRect(QRect(0, 0, 5, 5), Qt::red);  // must simply do nothing
    img.drawText(QRect(0, 0, 5, 5), 0, QStringLiteral("x"), cUniFontMap());

    cUniScreen screen;
    QCOMPARE(screen.widget(), nullptr);
    screen.update();  // no widget: nothing
    QWidget w;
    screen.setWidget(&w);
    screen.setWidget(nullptr);
    QCOMPARE(screen.widget(), &w);
}

void tst_UniImg::resizeReachesEngineBeforeSizeIsStored()
{
    RecordingEngine e;
    cUniImg img(&e);
    img.resize(QSize(8, 6));
    img.resize(12, 4);
    QCOMPARE(e.calls, (QStringList{"resize 8x6 over -1x-1", "resize 12x4 over 8x6"}));
    QCOMPARE(img.rect(), QRect(0, 0, 12, 4));
}

void tst_UniImg::destructorFreesDataThroughEngine()
{
    RecordingEngine e;
    delete new cUniImg(&e);
    QCOMPARE(e.calls, QStringList{"destroyData"});

    // The destructor asks whichever engine is current for the handle then.
    RecordingEngine first, second;
    cUniImg::switchEngine(&first);
    cUniImg* img = new cUniImg;
    cUniImg::switchEngine(&second);
    delete img;
    QVERIFY(first.calls.isEmpty());
    QCOMPARE(second.calls, QStringList{"destroyData"});

    // An engine that keeps the screen's widget as its data, as the Qt engine
    // does, must not be handed the widget to free. Regression: re-bound, the
    // screen kept its first widget as data and had the engine free it.
    QWidget w, rebound;
    cUniScreen* screen = new cUniScreen;
    screen->setWidget(&w);
    screen->mData = &w;
    screen->setWidget(&rebound);
    delete screen;
    QCOMPARE(second.calls, (QStringList{"destroyData", "destroyData"}));
    QCOMPARE(second.destroyedData, nullptr);
}

// A side of kMaxSide is drawn, one pixel more refused, in every format.
void tst_UniImg::yuvFramesUpToTheSideLimit()
{
    const int limit = cUniYuvFrame::kMaxSide;
    for (int f = cUniYuvFrame::I420; f <= cUniYuvFrame::YUYV; ++f)
        for (QSize const size : {QSize(limit, 2), QSize(2, limit), QSize(limit + 1, 2), QSize(2, limit + 1)}) {
            const dtest::YuvBars bars =
                dtest::yuvBars(cUniYuvFrame::Format(f), size, cUniYuvFrame::BT601, cUniYuvFrame::Limited);
            const bool within = size.width() <= limit && size.height() <= limit;
            QCOMPARE(bars.frame.isValid(), within);
            QCOMPARE(bars.frame.canDraw(QRect(QPoint(0, 0), size)), within);
        }
}

DTEST_MAIN(tst_UniImg)
#include "tst_uniimg.moc"
