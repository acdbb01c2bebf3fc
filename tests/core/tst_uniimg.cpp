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
    void drawingArgumentsArePassedUnchanged();
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
    QCOMPARE(img.rect().right(), -2);
    QCOMPARE(img.rect().bottom(), -2);
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
    QCOMPARE(own.calls, QStringList() << "fillRect");
    QVERIFY(current.calls.isEmpty());
    QVERIFY(later.calls.isEmpty());

    // The source handle's engine plays no part: the call goes to the target's.
    cUniImg follower;
    img.drawImage(QRect(0, 0, 2, 2), follower);
    QCOMPARE(own.calls.last(), QString("drawImage(cUniImg)"));
    QVERIFY(later.calls.isEmpty());
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
    QCOMPARE(e.resizes.size(), 2);
    QCOMPARE(e.resizes[0].requested, QSize(8, 6));
    QCOMPARE(e.resizes[0].sizeSeen, QSize(-1, -1));
    QCOMPARE(e.resizes[1].requested, QSize(12, 4));
    QCOMPARE(e.resizes[1].sizeSeen, QSize(8, 6));
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

void tst_UniImg::drawingArgumentsArePassedUnchanged()
{
    RecordingEngine e;
    cUniImg img(&e), src(&e);
    src.resize(7, 3);
    QVERIFY(img.beginUpdate());

    img.drawImage(QRect(5, 5, 10, 10), src);
    QCOMPARE(e.lastSource, QRect(0, 0, 7, 3));  // the whole source
    QCOMPARE(e.lastSourceImg, &src);
    img.drawImage(QRect(5, 5, 10, 10), src, QRect(1, 1, 2, 2));
    QCOMPARE(e.lastSource, QRect(1, 1, 2, 2));
    img.drawImage(QRect(1, 2, 3, 4), QImage(), QRect(4, 3, 2, 1));
    QCOMPARE(e.lastRect, QRect(1, 2, 3, 4));
    QCOMPARE(e.lastSource, QRect(4, 3, 2, 1));
    img.drawRect(QRect(2, 2, 9, 9), Qt::red);
    img.drawGradient(QRect(3, 3, 4, 4), Qt::red, Qt::blue);
    img.drawText(QRect(0, 0, 40, 10), Qt::AlignCenter, QStringLiteral("ab"), cUniFontMap());
    QCOMPARE(e.lastRect, QRect(0, 0, 40, 10));
    QCOMPARE(e.calls.mid(e.calls.size() - 6),
             QStringList() << "drawImage(cUniImg)" << "drawImage(cUniImg)" << "drawImage(QImage)"
                           << "drawRect" << "drawGradient" << "drawText");
    img.endUpdate();
}

void tst_UniImg::destructorFreesDataThroughEngine()
{
    RecordingEngine e;
    {
        cUniImg img(&e);
    }
    QCOMPARE(e.calls, QStringList() << "destroyData");

    // The destructor asks whichever engine is current for the handle then.
    RecordingEngine first, second;
    cUniImg::switchEngine(&first);
    {
        cUniImg img;
        cUniImg::switchEngine(&second);
    }
    QVERIFY(first.calls.isEmpty());
    QCOMPARE(second.calls, QStringList() << "destroyData");
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
    QCOMPARE(screen.mWidget, &w);
}

// Keeps the widget as data, as the Qt engine does for the screen.
class WidgetDataEngine : public RecordingEngine
{
public:
    void destroyData(cUniImg* img) override
    {
        seenData = img->mData;
        RecordingEngine::destroyData(img);
    }
    void* seenData = reinterpret_cast<void*>(1);
};

void tst_UniImg::screenDestructorDropsWidgetData()
{
    WidgetDataEngine e;
    cUniImg::switchEngine(&e);
    QWidget w;
    {
        cUniScreen screen;
        screen.setWidget(&w);
        screen.mData = &w;
    }
    // By the time the base destructor reaches the engine, the widget is gone from the data.
    QCOMPARE(e.seenData, nullptr);
}

DTEST_MAIN(tst_UniImg)
#include "tst_uniimg.moc"
