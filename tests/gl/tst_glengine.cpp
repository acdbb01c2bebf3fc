// The GL engine's display lists and frames, checked on the items it keeps and
// on the pixels the X server shows.

#include "glfixture.h"

#include <QMutex>
#include <QVariant>

#include <GL/gl.h>

#include <memory>
#include <vector>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

QImage interlaced(int width)
{
    QImage image(width, 576, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row, row + width, (y % 2) ? kWhite : kBlack);
    }
    return image;
}

GLuint gTokenTexture = 0;
void* gBoundData = nullptr;
int gBoundZero = -1;
int gBinds = 0;

void bindTestTexture(void* data, int zero)
{
    gBoundData = data;
    gBoundZero = zero;
    ++gBinds;
    glBindTexture(GL_TEXTURE_2D, gTokenTexture);
}

} // namespace

// Receives sigAccelerateMe and proves the lock can be taken inside it.
class CtxReceiver : public QObject
{
    Q_OBJECT
public:
    int calls = 0;
    QString typeName;
    QMutex* mutex = nullptr;
    bool locked = false;

public slots:
    void onAccelerate(QVariant const& v)
    {
        ++calls;
        typeName = QString::fromLatin1(v.typeName());
        mutex = qvariant_cast<glengine_ctx>(v).mutex;
        if (mutex && mutex->tryLock()) {
            locked = true;
            mutex->unlock();
        }
    }
};

class tst_GLEngine : public QObject
{
    Q_OBJECT

private slots:
    void initRefusesAnythingButAGLWidget();
    void outlineItemsBlendEachBorderPixelOnce_data();
    void outlineItemsBlendEachBorderPixelOnce();
    void childIsScaledWholeIntoItsTarget();
    void childInTwoParentsShowsItsLatestContent();
    void childrenNestUpToALimit();
    void destroyingAChildRemovesItsItems_data();
    void destroyingAChildRemovesItsItems();
    void cyclesAreRefused();
    void zeroSizedChildDrawsNothing();
    void picturesOfOtherDepthsAreConverted();
    void deinterlaceFilter_data();
    void deinterlaceFilter();
    void acceleratedTokenIsBoundByItsCallback();
    void repeatedFramesReuseItemsAndTextures();
};

void tst_GLEngine::initRefusesAnythingButAGLWidget()
{
    DTEST_IN_CHILD(30000);
    cGLEngine engine;
    CtxReceiver receiver;
    QObject::connect(&engine, SIGNAL(sigAccelerateMe(QVariant)), &receiver, SLOT(onAccelerate(QVariant)));
    QWidget plain;
    QVERIFY(!engine.init(nullptr));
    QVERIFY(!engine.init(&plain));
    QCOMPARE(receiver.calls, 0);
    QVERIFY(!engine.mGLWidget);

    QGLWidget gl;
    gl.resize(32, 32);
    QVERIFY(dtest::showAndWait(&gl));
    QVERIFY(engine.init(&gl));
    QCOMPARE(receiver.calls, 1);
    QCOMPARE(receiver.typeName, QStringLiteral("glengine_ctx"));
    QCOMPARE(receiver.mutex, &engine.mMutex);
    QVERIFY(receiver.locked);
    QCOMPARE(engine.mGLWidget, &gl);
    QVERIFY(gShaders.program != 0);
}

void tst_GLEngine::outlineItemsBlendEachBorderPixelOnce_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QList<QRect>>("items");
    // Corners belong to the left and right edges.
    QTest::newRow("box") << QRect(QPoint(10, 10), QPoint(19, 14))
                         << QList<QRect>{QRect(QPoint(11, 10), QPoint(18, 10)), QRect(QPoint(11, 14), QPoint(18, 14)),
                                         QRect(QPoint(10, 10), QPoint(10, 14)), QRect(QPoint(19, 10), QPoint(19, 14))};
    QTest::newRow("one wide") << QRect(40, 10, 1, 6) << QList<QRect>{QRect(40, 10, 1, 6)};
    QTest::newRow("one high") << QRect(50, 10, 6, 1)
                              << QList<QRect>{QRect(51, 10, 4, 1), QRect(50, 10, 1, 1), QRect(55, 10, 1, 1)};
}

void tst_GLEngine::outlineItemsBlendEachBorderPixelOnce()
{
    DTEST_IN_CHILD(30000);
    QFETCH(QRect, rect);
    QFETCH(QList<QRect>, items);
    GLFixture f;
    QVERIFY(f.ready);
    const QImage shot = f.present([&] { f.screen.drawRect(rect, QColor(255, 255, 255, 128)); });
    const auto& list = f.data(f.screen)->mItems;
    QCOMPARE(list.size(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(list[i]->mDstRect, items[i]);
        QCOMPARE(list[i]->mSrcRect, QRect(0, 0, 1, 1));
    }
    // White at alpha 128 over black, blended once: 128, never 192.
    const QRect inner = rect.adjusted(1, 1, -1, -1);
    for (int y = rect.top() - 2; y <= rect.bottom() + 2; ++y)
        for (int x = rect.left() - 2; x <= rect.right() + 2; ++x) {
            const bool border = rect.contains(x, y) && !(inner.isValid() && inner.contains(x, y));
            GL_COMPARE_PIXEL(shot, x, y, border ? qRgb(128, 128, 128) : kBlack, border ? 2 : 0);
        }
}

void tst_GLEngine::childIsScaledWholeIntoItsTarget()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    cUniImg child;
    child.resize(100, 100);
    record(child, [&] {
        child.fillRect(QRect(0, 0, 50, 100), QColor(kRed));
        child.fillRect(QRect(50, 0, 50, 100), QColor(kGreen));
    });
    // Half the child as the source rectangle: the whole child still shows.
    const QImage shot =
        f.present([&] { f.screen.drawImage(QRect(QPoint(10, 10), QPoint(59, 59)), child, QRect(0, 0, 50, 50)); });
    QCOMPARE(shot.pixel(10, 10), kRed);
    QCOMPARE(shot.pixel(34, 59), kRed);
    QCOMPARE(shot.pixel(35, 10), kGreen);
    QCOMPARE(shot.pixel(59, 59), kGreen);
    QCOMPARE(shot.pixel(60, 30), kBlack);
    QCOMPARE(shot.pixel(30, 60), kBlack);
    QCOMPARE(shot.pixel(9, 30), kBlack);
}

void tst_GLEngine::childInTwoParentsShowsItsLatestContent()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    cUniImg child;
    fillImage(child, QSize(10, 10), kRed);
    cUniImg left;
    cUniImg right;
    for (cUniImg* parent : {&left, &right}) {
        parent->resize(40, 40);
        record(*parent, [&] { parent->drawImage(QRect(0, 0, 20, 20), child); });
    }
    auto frame = [&] {
        f.screen.drawImage(QRect(0, 0, 40, 40), left);
        f.screen.drawImage(QRect(100, 0, 80, 80), right);
    };
    QImage shot = f.present(frame);
    QCOMPARE(shot.pixel(10, 10), kRed);
    QCOMPARE(shot.pixel(25, 25), kBlack);
    QCOMPARE(shot.pixel(139, 39), kRed);
    QCOMPARE(shot.pixel(140, 40), kBlack);

    // Only the child changes; both parents show it at the next frame.
    record(child, [&] { child.fillRect(QRect(0, 0, 10, 10), QColor(kBlue)); });
    shot = f.present(frame);
    QCOMPARE(shot.pixel(10, 10), kBlue);
    QCOMPARE(shot.pixel(139, 39), kBlue);
}

// Each level of nesting takes a matrix of GL's modelview stack, which holds
// 32: a chain 40 deep stops before its red end, one 3 deep shows it.
void tst_GLEngine::childrenNestUpToALimit()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    std::vector<std::unique_ptr<cUniImg>> chain(40);
    for (int i = int(chain.size()) - 1; i >= 0; --i) {
        chain[i].reset(new cUniImg);
        if (i == int(chain.size()) - 1)
            fillImage(*chain[i], QSize(10, 10), kRed);
        else {
            chain[i]->resize(10, 10);
            record(*chain[i], [&] { chain[i]->drawImage(QRect(0, 0, 10, 10), *chain[i + 1]); });
        }
    }
    const QImage shot = f.present([&] {
        f.screen.drawImage(QRect(0, 0, 10, 10), *chain[0]);
        f.screen.drawImage(QRect(20, 0, 10, 10), *chain[chain.size() - 3]);
    });
    QCOMPARE(shot.pixel(5, 5), kBlack);
    QCOMPARE(shot.pixel(25, 5), kRed);
}

void tst_GLEngine::destroyingAChildRemovesItsItems_data()
{
    QTest::addColumn<bool>("withData");
    QTest::newRow("drawn child") << true;
    // Regression: an image that never had data, drawn as a child and
    // destroyed, left its parent pointing at a dead handle.
    QTest::newRow("child without data") << false;
}

void tst_GLEngine::destroyingAChildRemovesItsItems()
{
    DTEST_IN_CHILD(30000);
    QFETCH(bool, withData);
    GLFixture f;
    QVERIFY(f.ready);
    cUniImg* child = new cUniImg;
    if (withData)
        fillImage(*child, QSize(10, 10), kRed);
    else
        child->resize(10, 10);
    QCOMPARE(child->mData != nullptr, withData);
    cUniImg parent;
    parent.resize(20, 20);
    record(parent, [&] {
        parent.drawImage(QRect(0, 0, 10, 10), *child);
        parent.fillRect(QRect(10, 10, 10, 10), QColor(kGreen));
    });
    f.present([&] {
        f.screen.drawImage(QRect(0, 0, 20, 20), parent);
        f.screen.drawImage(QRect(50, 0, 10, 10), *child);
    });
    QCOMPARE(f.data(parent)->mItems.size(), 2);
    QCOMPARE(f.data(f.screen)->mItems.size(), 2);
    delete child;
    QCOMPARE(f.data(parent)->mItems.size(), 1);
    QCOMPARE(f.data(f.screen)->mItems.size(), 1);
    const QImage shot = f.present([&] { f.screen.drawImage(QRect(0, 0, 20, 20), parent); });
    QCOMPARE(shot.pixel(15, 15), kGreen);
    QCOMPARE(shot.pixel(5, 5), kBlack);
}

// Regression: an image drawn into itself, directly or through another image,
// made presentation recurse until the stack ran out.
void tst_GLEngine::cyclesAreRefused()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    cUniImg a;
    cUniImg b;
    a.resize(20, 20);
    b.resize(20, 20);
    record(a, [&] {
        a.fillRect(QRect(0, 0, 20, 20), QColor(kRed));
        a.drawImage(QRect(0, 0, 10, 10), a);
    });
    QCOMPARE(f.data(a)->mItems.size(), 1);

    record(b, [&] { b.drawImage(QRect(0, 0, 20, 20), a); });
    record(a, [&] {
        a.fillRect(QRect(0, 0, 20, 20), QColor(kRed));
        a.drawImage(QRect(0, 0, 10, 10), b);
    });
    QCOMPARE(f.data(a)->mItems.size(), 1);
    QCOMPARE(f.data(b)->mItems.size(), 1);

    const QImage shot = f.present([&] {
        f.screen.drawImage(QRect(0, 0, 20, 20), a);
        f.screen.drawImage(QRect(40, 0, 20, 20), b);
        f.screen.drawImage(QRect(80, 0, 20, 20), f.screen);
    });
    QCOMPARE(f.data(f.screen)->mItems.size(), 2);
    QCOMPARE(shot.pixel(10, 10), kRed);
    QCOMPARE(shot.pixel(50, 10), kRed);
}

// Regression: a child with a zero side was drawn with an infinite scale.
void tst_GLEngine::zeroSizedChildDrawsNothing()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    cUniImg flat;
    fillImage(flat, QSize(10, 10), kRed);
    flat.resize(0, 10);
    const QImage shot = f.present([&] {
        f.screen.drawImage(QRect(0, 0, 50, 50), flat);
        f.screen.fillRect(QRect(60, 0, 10, 10), QColor(kGreen));
    });
    QCOMPARE(dtest::countPixels(shot, 0xffff0000u), 0);
    QCOMPARE(shot.pixel(65, 5), kGreen);
}

void tst_GLEngine::picturesOfOtherDepthsAreConverted()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    const QImage rgb888 = solid(QSize(13, 7), kGreen, QImage::Format_RGB888);
    QImage indexed(5, 5, QImage::Format_Indexed8);
    indexed.setColorTable({kBlue});
    indexed.fill(0);
    const QImage shot = f.present([&] {
        f.screen.drawImage(QRect(0, 0, 13, 7), rgb888, rgb888.rect());
        f.screen.drawImage(QRect(20, 0, 5, 5), indexed, indexed.rect());
    });
    QCOMPARE(shot.pixel(6, 3), kGreen);
    QCOMPARE(shot.pixel(12, 6), kGreen);
    QCOMPARE(shot.pixel(22, 2), kBlue);
}

void tst_GLEngine::deinterlaceFilter_data()
{
    QTest::addColumn<bool>("shaders");
    QTest::newRow("with shaders") << true;
    QTest::newRow("without shaders") << false;
}

// A 704 x 576 picture is filtered by the shader: alternate black and white
// rows turn grey. Other sizes, or no shaders, keep their rows.
void tst_GLEngine::deinterlaceFilter()
{
    DTEST_IN_CHILD(30000);
    QFETCH(bool, shaders);
    gShadersFound = shaders;
    GLFixture f(QSize(760, 600));
    QVERIFY(f.ready);
    QCOMPARE(gShaders.program != 0, shaders);
    for (int width : {704, 720}) {
        const QImage picture = interlaced(width);
        const QImage shot = f.present([&] { f.screen.drawImage(QRect(0, 0, width, 576), picture, picture.rect()); });
        for (int y = 100; y < 104; ++y) {
            if (shaders && width == 704)
                GL_COMPARE_PIXEL(shot, 300, y, qRgb(128, 128, 128), 3);
            else
                QCOMPARE(shot.pixel(300, y), (y % 2) ? kWhite : kBlack);
        }
    }
}

void tst_GLEngine::acceleratedTokenIsBoundByItsCallback()
{
    DTEST_IN_CHILD(30000);
    GLFixture f(QSize(400, 320));
    QVERIFY(f.ready);
    const QImage magenta = solid(QSize(704, 576), qRgb(255, 0, 255));
    glGenTextures(1, &gTokenTexture);
    glBindTexture(GL_TEXTURE_2D, gTokenTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 704, 576, 0, GL_BGRA, GL_UNSIGNED_BYTE, magenta.constBits());

    QImage token(704, 576, QImage::Format_Mono);
    const glengine_bind bind = &bindTestTexture;
    std::memcpy(token.bits(), &bind, sizeof bind);
    const QImage shot = f.present([&] { f.screen.drawImage(QRect(0, 0, 352, 288), token, token.rect()); });
    QVERIFY(gBinds >= 1);
    QCOMPARE(gBoundData, static_cast<void*>(const_cast<uchar*>(token.constBits())));
    QCOMPARE(gBoundZero, 0);
    GL_COMPARE_PIXEL(shot, 10, 10, qRgb(255, 0, 255), 1);
    GL_COMPARE_PIXEL(shot, 340, 280, qRgb(255, 0, 255), 1);
    QCOMPARE(shot.pixel(360, 290), kBlack);

    cGLEngine::cUniItem* item = f.data(f.screen)->mItems.value(0);
    QVERIFY(item && item->mTexture && item->mTexture->accelerated());
    QCOMPARE(item->mTexture->textureSize(), QSize(704, 576));

    // A later ordinary picture of the same size never lands in the token's
    // texture, whose callback it would otherwise be taken for.
    const QImage green = solid(QSize(704, 576), kGreen);
    const QImage next = f.present([&] { f.screen.drawImage(QRect(0, 0, 352, 288), green, green.rect()); });
    GL_COMPARE_PIXEL(next, 100, 100, kGreen, 1);
}

void tst_GLEngine::repeatedFramesReuseItemsAndTextures()
{
    DTEST_IN_CHILD(30000);
    GLFixture f;
    QVERIFY(f.ready);
    cUniImg tile;
    tile.resize(64, 48);
    const QImage picture = solid(QSize(64, 48), kBlue);
    auto draw = [&] {
        record(tile, [&] {
            tile.drawImage(tile.rect(), picture, picture.rect());
            tile.fillRect(QRect(0, 0, 64, 8), QColor(0, 0, 0, 128));
            tile.drawRect(tile.rect(), QColor(kWhite));
            tile.drawGradient(QRect(8, 8, 8, 8), QColor(kRed), QColor(kWhite));
        });
        f.present([&] { f.screen.drawImage(QRect(0, 0, 64, 48), tile); });
    };
    draw();
    const QList<cGLEngine::cUniItem*> items = f.data(tile)->mItems;
    QList<GLuint> names;
    for (auto* item : items)
        names << item->mTexture->textureId();
    QCOMPARE(items.size(), 7);
    auto* screenItem = f.data(f.screen)->mItems.value(0);
    draw();
    QCOMPARE(f.data(tile)->mItems, items);
    for (int i = 0; i < items.size(); ++i)
        QCOMPARE(items[i]->mTexture->textureId(), names[i]);
    QCOMPARE(f.data(f.screen)->mItems.value(0), screenItem);

    // An update that draws nothing leaves the list empty.
    record(tile, [] {});
    QVERIFY(f.data(tile)->mItems.isEmpty());
}

DTEST_MAIN(tst_GLEngine)
#include "tst_glengine.moc"
