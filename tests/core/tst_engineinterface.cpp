#include "recordingengine.h"

#include <testsupport.h>

#include <QApplication>
#include <QTest>

class tst_EngineInterface : public QObject
{
    Q_OBJECT

private slots:
    void updateCycle();
    void baseDataOperationsLeaveDataAlone();
};

void tst_EngineInterface::updateCycle()
{
    RecordingEngine e;
    QVERIFY(!e.isActive());
    QCOMPARE(e.currentImage(), nullptr);
    QVERIFY(e.init(nullptr));
    QVERIFY(!e.beginUpdate(nullptr));
    QCOMPARE(e.currentImage(), nullptr);
    QVERIFY(e.endUpdate(nullptr));  // nothing open

    // The image is recorded before the engine resizes it to its own size.
    cUniImg img(&e), other(&e);
    img.mSize = QSize(30, 20);
    QVERIFY(e.beginUpdate(&img));
    QCOMPARE(e.currentImage(), &img);
    QVERIFY(e.isActive());
    QCOMPARE(e.calls, QStringList{"resize 30x20 over 30x20 current"});
    QVERIFY(!e.beginUpdate(nullptr));
    QCOMPARE(e.currentImage(), &img);

    // The base does not refuse nesting: a second image replaces the first.
    QVERIFY(e.beginUpdate(&other));
    QCOMPARE(e.currentImage(), &other);
    QVERIFY(e.endUpdate(&img));  // any call ends the open update
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
