// The GL engine's frames, checked on the pixels the X server shows.

#include "glfixture.h"

#include <QMutex>
#include <QVariant>

#include <GL/gl.h>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

class ClearingWidget : public QGLWidget
{
protected:
    void paintGL() override
    {
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
};

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

DTEST_CHILD(readbackOfABareGLWidget)
{
    ClearingWidget w;
    w.resize(64, 64);
    CHECK(dtest::showAndWait(&w));
    w.updateGL();
    QApplication::processEvents();
    const QImage shot = dtest::grabWidget(&w);
    CHECK_EQ(shot.size(), QSize(64, 64));
    CHECK_PIXEL(shot, 32, 32, kGreen, 0);
    return 0;
}

DTEST_CHILD(initRefusesAnythingButAGLWidget)
{
    cGLEngine engine;
    CtxReceiver receiver;
    QObject::connect(&engine, SIGNAL(sigAccelerateMe(QVariant)), &receiver, SLOT(onAccelerate(QVariant)));
    QWidget plain;
    CHECK(!engine.init(nullptr));
    CHECK(!engine.init(&plain));
    CHECK_EQ(receiver.calls, 0);
    CHECK(engine.mGLWidget == nullptr);

    QGLWidget gl;
    gl.resize(32, 32);
    CHECK(dtest::showAndWait(&gl));
    CHECK(engine.init(&gl));
    CHECK_EQ(receiver.calls, 1);
    CHECK_EQ(receiver.typeName, QStringLiteral("glengine_ctx"));
    CHECK(receiver.mutex == &engine.mMutex);
    CHECK(receiver.locked);
    CHECK(engine.mGLWidget == &gl);
    CHECK(gShaders.program != 0);
    return 0;
}

DTEST_CHILD(fillsBlendAndNeverReplace)
{
    GLFixture f;
    CHECK(f.ready);
    const QImage shot = f.present([&] {
        f.screen.fillRect(QRect(10, 10, 10, 10), QColor(kBlue));
        f.screen.fillRect(QRect(10, 10, 10, 10), QColor(255, 0, 0, 0));
        f.screen.fillRect(QRect(30, 10, 10, 10), QColor(kWhite));
        f.screen.fillRect(QRect(30, 10, 10, 10), QColor(255, 0, 0, 128));
    });
    CHECK_PIXEL(shot, 10, 10, kBlue, 0);
    CHECK_PIXEL(shot, 19, 19, kBlue, 0);
    CHECK_PIXEL(shot, 20, 19, kBlack, 0);
    CHECK_PIXEL(shot, 19, 20, kBlack, 0);
    CHECK_PIXEL(shot, 9, 9, kBlack, 0);
    CHECK_PIXEL(shot, 35, 15, qRgb(255, 127, 127), 2);
    CHECK_EQ(dtest::countPixels(shot, 0xff0000ffu), 100);

    // Off-screen, a transparent fill over a picture keeps the picture.
    cUniImg tile;
    tile.resize(50, 50);
    record(tile, [&] {
        tile.fillRect(QRect(0, 0, 50, 50), QColor(kGreen));
        tile.fillRect(QRect(0, 0, 50, 50), QColor(0, 0, 0, 0));
    });
    const QImage second = f.present([&] { f.screen.drawImage(QRect(100, 100, 50, 50), tile); });
    CHECK_PIXEL(second, 125, 125, kGreen, 0);
    return 0;
}

DTEST_CHILD(outlineCoversTheBorderOnce)
{
    GLFixture f;
    CHECK(f.ready);
    const QImage shot = f.present([&] { f.screen.drawRect(QRect(QPoint(10, 10), QPoint(19, 14)), QColor(255, 255, 255, 128)); });
    cGLEngine::cUniData* d = f.data(f.screen);
    CHECK_EQ(d->mItems.size(), 4);
    CHECK_EQ(d->mItems[0]->mDstRect, QRect(QPoint(11, 10), QPoint(18, 10)));
    CHECK_EQ(d->mItems[1]->mDstRect, QRect(QPoint(11, 14), QPoint(18, 14)));
    CHECK_EQ(d->mItems[2]->mDstRect, QRect(QPoint(10, 10), QPoint(10, 14)));
    CHECK_EQ(d->mItems[3]->mDstRect, QRect(QPoint(19, 10), QPoint(19, 14)));
    for (auto* item : d->mItems)
        CHECK_EQ(item->mSrcRect, QRect(0, 0, 1, 1));

    // 2 x (10 + 5) - 4 border pixels, each blended once: 128, never 192.
    int border = 0;
    for (int y = 8; y < 17; ++y)
        for (int x = 8; x < 22; ++x) {
            const bool onBorder = (x >= 10 && x <= 19 && y >= 10 && y <= 14)
                && (x == 10 || x == 19 || y == 10 || y == 14);
            if (onBorder) {
                CHECK_PIXEL(shot, x, y, qRgb(128, 128, 128), 2);
                ++border;
            } else {
                CHECK_PIXEL(shot, x, y, kBlack, 0);
            }
        }
    CHECK_EQ(border, 26);

    // One-pixel-wide and -high outlines blend each pixel once as well.
    const QImage thin = f.present([&] {
        f.screen.drawRect(QRect(40, 10, 1, 6), QColor(255, 255, 255, 128));
        f.screen.drawRect(QRect(50, 10, 6, 1), QColor(255, 255, 255, 128));
    });
    for (int y = 10; y < 16; ++y)
        CHECK_PIXEL(thin, 40, y, qRgb(128, 128, 128), 2);
    for (int x = 50; x < 56; ++x)
        CHECK_PIXEL(thin, x, 10, qRgb(128, 128, 128), 2);
    return 0;
}

DTEST_CHILD(gradientOfFourByFour)
{
    GLFixture f;
    CHECK(f.ready);
    const QImage shot = f.present([&] { f.screen.drawGradient(QRect(10, 10, 4, 4), QColor(kRed), QColor(kWhite)); });
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool blended = (x == 1 || x == 3) && (y == 1 || y == 3);
            CHECK_PIXEL(shot, 10 + x, 10 + y, blended ? qRgb(255, 127, 127) : kRed, 1);
        }
    CHECK_PIXEL(shot, 14, 10, kBlack, 0);
    CHECK_PIXEL(shot, 10, 14, kBlack, 0);
    return 0;
}

DTEST_CHILD(childIsScaledWholeIntoItsTarget)
{
    GLFixture f;
    CHECK(f.ready);
    cUniImg child;
    child.resize(100, 100);
    record(child, [&] {
        child.fillRect(QRect(0, 0, 50, 100), QColor(kRed));
        child.fillRect(QRect(50, 0, 50, 100), QColor(kGreen));
    });

    const QImage shot = f.present([&] {
        // Half the child as the source rectangle: the whole child still shows.
        f.screen.drawImage(QRect(QPoint(10, 10), QPoint(59, 59)), child, QRect(0, 0, 50, 50));
    });
    CHECK_PIXEL(shot, 10, 10, kRed, 0);
    CHECK_PIXEL(shot, 34, 59, kRed, 0);
    CHECK_PIXEL(shot, 35, 10, kGreen, 0);
    CHECK_PIXEL(shot, 59, 59, kGreen, 0);
    CHECK_PIXEL(shot, 60, 30, kBlack, 0);
    CHECK_PIXEL(shot, 30, 60, kBlack, 0);
    CHECK_PIXEL(shot, 9, 30, kBlack, 0);
    return 0;
}

DTEST_CHILD(childInTwoParentsAndItsLatestContent)
{
    GLFixture f;
    CHECK(f.ready);
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
    CHECK_PIXEL(shot, 10, 10, kRed, 0);
    CHECK_PIXEL(shot, 25, 25, kBlack, 0);
    CHECK_PIXEL(shot, 139, 39, kRed, 0);
    CHECK_PIXEL(shot, 140, 40, kBlack, 0);

    // Only the child changes; both parents show it at the next frame.
    record(child, [&] { child.fillRect(QRect(0, 0, 10, 10), QColor(kBlue)); });
    shot = f.present(frame);
    CHECK_PIXEL(shot, 10, 10, kBlue, 0);
    CHECK_PIXEL(shot, 139, 39, kBlue, 0);
    return 0;
}

DTEST_CHILD(picturesOfOtherDepthsAreConverted)
{
    GLFixture f;
    CHECK(f.ready);
    const QImage rgb888 = solid(QSize(13, 7), kGreen, QImage::Format_RGB888);
    QImage indexed(5, 5, QImage::Format_Indexed8);
    indexed.setColorTable({kBlue});
    indexed.fill(0);
    const QImage shot = f.present([&] {
        f.screen.drawImage(QRect(0, 0, 13, 7), rgb888, rgb888.rect());
        f.screen.drawImage(QRect(20, 0, 5, 5), indexed, indexed.rect());
    });
    CHECK_PIXEL(shot, 6, 3, kGreen, 0);
    CHECK_PIXEL(shot, 12, 6, kGreen, 0);
    CHECK_PIXEL(shot, 22, 2, kBlue, 0);
    return 0;
}

namespace {
QImage interlaced(int width)
{
    QImage image(width, 576, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row, row + width, (y % 2) ? kWhite : kBlack);
    }
    return image;
}

int deinterlaceCase(bool shaders)
{
    gShadersFound = shaders;
    GLFixture f(QSize(760, 600));
    CHECK(f.ready);
    CHECK_EQ(gShaders.program != 0, shaders);
    const QImage pal = interlaced(704);
    QImage shot = f.present([&] { f.screen.drawImage(QRect(0, 0, 704, 576), pal, pal.rect()); });
    for (int y = 100; y < 104; ++y) {
        if (shaders)
            CHECK_PIXEL(shot, 300, y, qRgb(128, 128, 128), 3);
        else
            CHECK_PIXEL(shot, 300, y, (y % 2) ? kWhite : kBlack, 0);
    }
    const QImage other = interlaced(720);
    shot = f.present([&] { f.screen.drawImage(QRect(0, 0, 720, 576), other, other.rect()); });
    for (int y = 100; y < 104; ++y)
        CHECK_PIXEL(shot, 300, y, (y % 2) ? kWhite : kBlack, 0);
    return 0;
}
} // namespace

DTEST_CHILD(deinterlaceFilterGreysA704Picture)
{
    return deinterlaceCase(true);
}

DTEST_CHILD(deinterlaceOffWithoutShaders)
{
    return deinterlaceCase(false);
}

namespace {
GLuint gTokenTexture = 0;
void* gBoundData = reinterpret_cast<void*>(1);
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

DTEST_CHILD(acceleratedTokenIsBoundByItsCallback)
{
    GLFixture f(QSize(400, 320));
    CHECK(f.ready);
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
    CHECK(gBinds >= 1);
    CHECK(gBoundData == token.constBits());
    CHECK_EQ(gBoundZero, 0);
    CHECK_PIXEL(shot, 10, 10, qRgb(255, 0, 255), 1);
    CHECK_PIXEL(shot, 340, 280, qRgb(255, 0, 255), 1);
    CHECK_PIXEL(shot, 360, 290, kBlack, 0);

    cGLEngine::cUniItem* item = f.data(f.screen)->mItems.value(0);
    CHECK(item && item->mTexture && item->mTexture->accelerated());
    CHECK_EQ(item->mTexture->textureSize(), QSize(704, 576));

    // A later ordinary picture of the same size never lands in the token's
    // texture, whose callback it would otherwise be taken for.
    const QImage green = solid(QSize(704, 576), kGreen);
    const QImage next = f.present([&] { f.screen.drawImage(QRect(0, 0, 352, 288), green, green.rect()); });
    CHECK_PIXEL(next, 100, 100, kGreen, 1);
    return 0;
}

DTEST_CHILD(destroyingAnImageRemovesItsItemsEverywhere)
{
    GLFixture f;
    CHECK(f.ready);
    cUniImg* child = new cUniImg;
    fillImage(*child, QSize(10, 10), kRed);
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
    CHECK_EQ(f.data(parent)->mItems.size(), 2);
    CHECK_EQ(f.data(f.screen)->mItems.size(), 2);
    delete child;
    CHECK_EQ(f.data(parent)->mItems.size(), 1);
    CHECK_EQ(f.data(f.screen)->mItems.size(), 1);
    return 0;
}

// Regression: an image that never had data, drawn as a child and destroyed,
// left its parent pointing at a dead handle until the parent's next update.
DTEST_CHILD(danglingChildWithoutDataIsNeverDrawn)
{
    GLFixture f;
    CHECK(f.ready);
    cUniImg parent;
    parent.resize(20, 20);
    cUniImg* never = new cUniImg;
    never->resize(10, 10);
    record(parent, [&] {
        parent.drawImage(QRect(0, 0, 10, 10), *never);
        parent.fillRect(QRect(10, 10, 10, 10), QColor(kGreen));
    });
    CHECK(never->mData == nullptr);
    CHECK_EQ(f.data(parent)->mItems.size(), 2);
    delete never;
    CHECK_EQ(f.data(parent)->mItems.size(), 1);
    const QImage shot = f.present([&] { f.screen.drawImage(QRect(0, 0, 20, 20), parent); });
    CHECK_PIXEL(shot, 15, 15, kGreen, 0);
    return 0;
}

// Regression: an image drawn into itself, directly or through another image,
// made presentation recurse until the stack ran out.
DTEST_CHILD(cyclesAreRefused)
{
    GLFixture f;
    CHECK(f.ready);
    cUniImg a;
    cUniImg b;
    a.resize(20, 20);
    b.resize(20, 20);
    record(a, [&] {
        a.fillRect(QRect(0, 0, 20, 20), QColor(kRed));
        a.drawImage(QRect(0, 0, 10, 10), a);
    });
    CHECK_EQ(f.data(a)->mItems.size(), 1);

    record(b, [&] { b.drawImage(QRect(0, 0, 20, 20), a); });
    record(a, [&] {
        a.fillRect(QRect(0, 0, 20, 20), QColor(kRed));
        a.drawImage(QRect(0, 0, 10, 10), b);
    });
    CHECK_EQ(f.data(a)->mItems.size(), 1);
    CHECK_EQ(f.data(b)->mItems.size(), 1);

    const QImage shot = f.present([&] {
        f.screen.drawImage(QRect(0, 0, 20, 20), a);
        f.screen.drawImage(QRect(40, 0, 20, 20), b);
        f.screen.drawImage(QRect(80, 0, 20, 20), f.screen);
    });
    CHECK_EQ(f.data(f.screen)->mItems.size(), 2);
    CHECK_PIXEL(shot, 10, 10, kRed, 0);
    CHECK_PIXEL(shot, 50, 10, kRed, 0);
    return 0;
}

// Regression: a child with a zero side was drawn with an infinite scale.
DTEST_CHILD(zeroSizedChildDrawsNothing)
{
    GLFixture f;
    CHECK(f.ready);
    cUniImg flat;
    fillImage(flat, QSize(10, 10), kRed);
    flat.resize(0, 10);
    const QImage shot = f.present([&] {
        f.screen.drawImage(QRect(0, 0, 50, 50), flat);
        f.screen.fillRect(QRect(60, 0, 10, 10), QColor(kGreen));
    });
    CHECK_EQ(dtest::countPixels(shot, 0xffff0000u), 0);
    CHECK_PIXEL(shot, 65, 5, kGreen, 0);
    return 0;
}

DTEST_CHILD(repeatedFramesReuseItemsAndTextures)
{
    GLFixture f;
    CHECK(f.ready);
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
    QList<cGLEngine::cUniItem*> items = f.data(tile)->mItems;
    QList<GLuint> names;
    for (auto* item : items)
        names << item->mTexture->textureId();
    CHECK_EQ(items.size(), 7);
    auto* screenItem = f.data(f.screen)->mItems.value(0);
    draw();
    CHECK(f.data(tile)->mItems == items);
    for (int i = 0; i < items.size(); ++i)
        CHECK_EQ(items[i]->mTexture->textureId(), names[i]);
    CHECK(f.data(f.screen)->mItems.value(0) == screenItem);

    // An update that draws nothing leaves the list empty.
    record(tile, [] {});
    CHECK(f.data(tile)->mItems.isEmpty());
    return 0;
}

DTEST_CHILD(emptyScreenIsClearedToBlack)
{
    GLFixture f;
    CHECK(f.ready);
    f.present([&] { f.screen.fillRect(QRect(0, 0, 320, 240), QColor(kWhite)); });
    const QImage shot = f.present([] {});
    CHECK_EQ(dtest::countPixels(shot, 0xff000000u), 320 * 240);
    return 0;
}

class tst_GLEngine : public QObject
{
    Q_OBJECT

private slots:
    void readbackOfABareGLWidget() { EXPECT_CHILD_PASSES("readbackOfABareGLWidget"); }
    void initRefusesAnythingButAGLWidget() { EXPECT_CHILD_PASSES("initRefusesAnythingButAGLWidget"); }
    void fillsBlendAndNeverReplace() { EXPECT_CHILD_PASSES("fillsBlendAndNeverReplace"); }
    void outlineCoversTheBorderOnce() { EXPECT_CHILD_PASSES("outlineCoversTheBorderOnce"); }
    void gradientOfFourByFour() { EXPECT_CHILD_PASSES("gradientOfFourByFour"); }
    void childIsScaledWholeIntoItsTarget() { EXPECT_CHILD_PASSES("childIsScaledWholeIntoItsTarget"); }
    void childInTwoParentsAndItsLatestContent() { EXPECT_CHILD_PASSES("childInTwoParentsAndItsLatestContent"); }
    void picturesOfOtherDepthsAreConverted() { EXPECT_CHILD_PASSES("picturesOfOtherDepthsAreConverted"); }
    void deinterlaceFilterGreysA704Picture() { EXPECT_CHILD_PASSES("deinterlaceFilterGreysA704Picture"); }
    void deinterlaceOffWithoutShaders() { EXPECT_CHILD_PASSES("deinterlaceOffWithoutShaders"); }
    void acceleratedTokenIsBoundByItsCallback() { EXPECT_CHILD_PASSES("acceleratedTokenIsBoundByItsCallback"); }
    void destroyingAnImageRemovesItsItemsEverywhere()
    {
        EXPECT_CHILD_PASSES("destroyingAnImageRemovesItsItemsEverywhere");
    }
    void danglingChildWithoutDataIsNeverDrawn() { EXPECT_CHILD_PASSES("danglingChildWithoutDataIsNeverDrawn"); }
    void cyclesAreRefused() { EXPECT_CHILD_PASSES("cyclesAreRefused", 30000); }
    void zeroSizedChildDrawsNothing() { EXPECT_CHILD_PASSES("zeroSizedChildDrawsNothing"); }
    void repeatedFramesReuseItemsAndTextures() { EXPECT_CHILD_PASSES("repeatedFramesReuseItemsAndTextures"); }
    void emptyScreenIsClearedToBlack() { EXPECT_CHILD_PASSES("emptyScreenIsClearedToBlack"); }
};

DTEST_MAIN(tst_GLEngine)
#include "tst_glengine.moc"
