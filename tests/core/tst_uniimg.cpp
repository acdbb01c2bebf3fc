#include "recordingengine.h"

#include <dorurizar/unifontmap.h>
#include <dorurizar/uniscreen.h>

#include <testsupport.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

class tst_UniImg : public QObject
{
    Q_OBJECT

private slots:
    void init() { cUniImg::mCurrentEngine = nullptr; }
    void cleanup() { cUniImg::mCurrentEngine = nullptr; }

    void newHandle();
    void switchEngineReturnsPreviousAndRefusesNull();
    void ownEngineWinsOverCurrentOne();
    void withoutEngineNothingHappens();
    void resizeReachesEngineBeforeSizeIsStored();
    void drawingGoesToEngineCurrentImage();
    void destructorFreesDataThroughEngine();
    void screenWidgetBinding();
    void screenDestructorDropsWidgetData();
};

void tst_UniImg::newHandle()
{
    RecordingEngine e;
    cUniImg::switchEngine(&e);
    cUniImg img;
    QCOMPARE(img.size(), QSize(-1, -1));
    QCOMPARE(img.rect(), QRect(QPoint(0, 0), QPoint(-2, -2)));
    QCOMPARE(img.mData, nullptr);
    QCOMPARE(img.currentEngine(), static_cast<cDorUrizar*>(&e));
    QVERIFY(e.calls.isEmpty());  // construction creates no engine data
}

void tst_UniImg::switchEngineReturnsPreviousAndRefusesNull()
{
    RecordingEngine e1, e2;
    QCOMPARE(cUniImg::switchEngine(&e1), nullptr);
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
}

void tst_UniImg::resizeReachesEngineBeforeSizeIsStored()
{
    RecordingEngine e;
    cUniImg img(&e);
    img.resize(QSize(8, 6));
    img.resize(12, 4);
    QCOMPARE(e.calls, (QStringList{"resize 8x6 over -1x-1", "resize 12x4 over 8x6"}));
    QCOMPARE(img.size(), QSize(12, 4));
    QCOMPARE(img.rect(), QRect(0, 0, 12, 4));
}

void tst_UniImg::drawingGoesToEngineCurrentImage()
{
    RecordingEngine e;
    cUniImg a(&e), b(&e);
    QVERIFY(a.beginUpdate());
    b.fillRect(QRect(1, 1, 2, 2), Qt::blue);  // lands in a, the image being updated
    QCOMPARE(e.lastTarget, &a);
    QVERIFY(a.endUpdate());
    QCOMPARE(e.currentImage(), nullptr);
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
}

void tst_UniImg::screenWidgetBinding()
{
    cUniScreen screen;
    QCOMPARE(screen.widget(), nullptr);
    QCOMPARE(screen.currentEngine(), nullptr);
    screen.update();  // no widget: nothing

    QWidget w;
    screen.setWidget(&w);
    screen.setWidget(nullptr);
    QCOMPARE(screen.widget(), &w);
}

// An engine that keeps the screen's widget as its data, as the Qt engine
// does, must not be handed the widget to free.
void tst_UniImg::screenDestructorDropsWidgetData()
{
    RecordingEngine e;
    cUniImg::switchEngine(&e);
    QWidget w;
    cUniScreen* screen = new cUniScreen;
    screen->setWidget(&w);
    screen->mData = &w;
    delete screen;
    QCOMPARE(e.calls, QStringList{"destroyData"});
    QCOMPARE(e.destroyedData, nullptr);
}

DTEST_MAIN(tst_UniImg)
#include "tst_uniimg.moc"
