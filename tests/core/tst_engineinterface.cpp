#include "recordingengine.h"

#include <testsupport.h>

#include <QApplication>
#include <QMetaMethod>
#include <QSignalSpy>
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
    void metaObjectIsTheBaseClassOnly();
    void signalReachesReceivers();
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
    QVERIFY(e.resizes.size() == 1);
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

// cDorUrizar's own implementations, reached through an engine that overrides
// only the pure operations.
class BareEngine : public cDorUrizar
{
public:
    void drawImage(QRect const&, QImage const&, QRect const&) override {}
    void drawImage(QRect const&, cUniImg&, QRect const&) override {}
    void fillRect(QRect const&, QColor const&) override {}
    void drawRect(QRect const&, QColor const&) override {}
    void drawGradient(QRect const&, QColor const&, QColor const&) override {}
    void drawText(QRect const&, int, QString const&, cUniFontMap const&) override {}
};

void tst_EngineInterface::baseDataOperationsLeaveDataAlone()
{
    BareEngine e;
    int token = 0;
    cUniImg img(&e);
    img.mData = &token;
    e.resize(&img, QSize(5, 5));
    QCOMPARE(img.mData, static_cast<void*>(&token));
    e.destroyData(&img);
    QCOMPARE(img.mData, static_cast<void*>(&token));
    img.mData = nullptr;
}

void tst_EngineInterface::metaObjectIsTheBaseClassOnly()
{
    RecordingEngine e;
    QMetaObject const* mo = e.metaObject();
    QCOMPARE(mo, &cDorUrizar::staticMetaObject);
    QCOMPARE(mo->className(), "cDorUrizar");
    QCOMPARE(mo->superClass(), &QObject::staticMetaObject);
    QCOMPARE(mo->classInfoCount(), 0);
    QCOMPARE(mo->propertyCount() - mo->propertyOffset(), 0);
    QCOMPARE(mo->enumeratorCount() - mo->enumeratorOffset(), 0);
    QCOMPARE(mo->constructorCount(), 0);
    QCOMPARE(mo->methodCount() - mo->methodOffset(), 1);

    QMetaMethod signal = mo->method(mo->methodOffset());
    QCOMPARE(signal.methodSignature(), QByteArray("sigAccelerateMe(QVariant)"));
    QCOMPARE(signal.methodType(), QMetaMethod::Signal);
    QCOMPARE(signal.access(), QMetaMethod::Protected);
    QCOMPARE(signal.parameterNames(), QList<QByteArray>() << "v");
    QCOMPARE(signal.returnType(), int(QMetaType::Void));

    QCOMPARE(e.qt_metacast("cDorUrizar"), static_cast<void*>(&e));
    QCOMPARE(e.qt_metacast("QObject"), static_cast<void*>(static_cast<QObject*>(&e)));
    QCOMPARE(e.qt_metacast("RecordingEngine"), nullptr);
    QVERIFY(e.inherits("cDorUrizar"));
}

void tst_EngineInterface::signalReachesReceivers()
{
    RecordingEngine e;
    QSignalSpy spy(&e, SIGNAL(sigAccelerateMe(QVariant)));
    e.emitAccelerate(QVariant(42));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QVariant>().toInt(), 42);
}

DTEST_MAIN(tst_EngineInterface)
#include "tst_engineinterface.moc"
