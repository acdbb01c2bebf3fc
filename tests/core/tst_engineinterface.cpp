#include "recordingengine.h"

#include <testsupport.h>

#include <QApplication>
#include <QTest>

class tst_EngineInterface : public QObject
{
    Q_OBJECT

private slots:
    void newEngineIsIdle();
    void beginUpdateRecordsImageAndResizesItToItsOwnSize();
    void beginUpdateOfNullKeepsState();
    void endUpdateAlwaysSucceedsAndClears();
    void baseDataOperationsLeaveDataAlone();
};

void tst_EngineInterface::newEngineIsIdle()
{
    RecordingEngine e;
    QVERIFY(!e.isActive());
    QCOMPARE(e.currentImage(), nullptr);
    QVERIFY(e.init(nullptr));
}

void tst_EngineInterface::beginUpdateRecordsImageAndResizesItToItsOwnSize()
{
    RecordingEngine e;
    cUniImg img(&e);
    img.mSize = QSize(30, 20);

    QVERIFY(e.beginUpdate(&img));
    QCOMPARE(e.currentImage(), &img);
    QVERIFY(e.isActive());
    QCOMPARE(e.resizes.size(), 1);
    QCOMPARE(e.resizes[0].img, &img);
    QCOMPARE(e.resizes[0].requested, QSize(30, 20));
    QCOMPARE(e.resizes[0].currentSeen, &img);  // recorded before resize runs

    // The base does not refuse nesting: a second image replaces the first.
    cUniImg other(&e);
    QVERIFY(e.beginUpdate(&other));
    QCOMPARE(e.currentImage(), &other);
    e.endUpdate(nullptr);
}

void tst_EngineInterface::beginUpdateOfNullKeepsState()
{
    RecordingEngine e;
    cUniImg img(&e);
    QVERIFY(!e.beginUpdate(nullptr));
    QCOMPARE(e.currentImage(), nullptr);

    QVERIFY(e.beginUpdate(&img));
    QVERIFY(!e.beginUpdate(nullptr));
    QCOMPARE(e.currentImage(), &img);
    QCOMPARE(e.resizes.size(), 1);
    e.endUpdate(&img);
}

void tst_EngineInterface::endUpdateAlwaysSucceedsAndClears()
{
    RecordingEngine e;
    QVERIFY(e.endUpdate(nullptr));  // nothing open
    QCOMPARE(e.currentImage(), nullptr);

    cUniImg a(&e), b(&e);
    QVERIFY(e.beginUpdate(&a));
    QVERIFY(e.endUpdate(&b));  // any call ends the open update
    QCOMPARE(e.currentImage(), nullptr);
    QVERIFY(!e.isActive());
}

void tst_EngineInterface::baseDataOperationsLeaveDataAlone()
{
    RecordingEngine e;
    int token = 0;
    cUniImg img(&e);
    img.mData = &token;
    e.cDorUrizar::resize(&img, QSize(5, 5));
    QCOMPARE(img.mData, static_cast<void*>(&token));
    e.cDorUrizar::destroyData(&img);
    QCOMPARE(img.mData, static_cast<void*>(&token));
    img.mData = nullptr;
}

DTEST_MAIN(tst_EngineInterface)
#include "tst_engineinterface.moc"
