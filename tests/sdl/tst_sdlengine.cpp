// Setup, per-image surfaces and frames of the SDL engine.

#include "sdlfixture.h"

#include <dorurizar/uniscreen.h>

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

// Whether some environment entry points into [begin, end).
bool environmentPointsInto(char const* begin, char const* end)
{
    for (char** entry = environ; *entry; ++entry) {
        if (*entry >= begin && *entry < end)
            return true;
    }
    return false;
}

} // namespace

DTEST_CHILD(initPutsWindowIdIntoEnvironment)
{
    QWidget widget;
    widget.resize(64, 48);
    CHECK(dtest::showAndWait(&widget));
    cSDLEngine* engine = new cSDLEngine;
    CHECK(!engine->isActive());
    CHECK(engine->init(&widget));

    char expected[64];
    std::snprintf(expected, sizeof expected, "0x%lx", static_cast<unsigned long>(widget.winId()));
    CHECK(getenv("SDL_WINDOWID"));
    CHECK(std::strcmp(getenv("SDL_WINDOWID"), expected) == 0);
    CHECK(QByteArray(getenv("SDL_WINDOWID")) == QByteArray(expected).toLower());
    CHECK(std::strcmp(getenv("SDL_VIDEODRIVER"), "x11") == 0);
    // Xvfb offers no hardware surfaces: a frameless software surface.
    CHECK_EQ(engine->mSurfaceFlags, 0x20u);

    // Regression: the environment kept pointing into the destroyed engine.
    char const* begin = reinterpret_cast<char const*>(engine);
    char const* end = begin + sizeof(cSDLEngine);
    CHECK(environmentPointsInto(begin, end));
    delete engine;
    CHECK(!environmentPointsInto(begin, end));
    CHECK(getenv("SDL_WINDOWID") && std::strcmp(getenv("SDL_WINDOWID"), expected) == 0);
    return 0;
}

// Regression: init(nullptr) dereferenced the null widget.
DTEST_CHILD(initWithoutWidgetRefused)
{
    cSDLEngine engine;
    CHECK(!engine.init(nullptr));
    CHECK(std::strcmp(getenv("SDL_WINDOWID"), "untouched") == 0);
    cUniImg img(&engine);
    img.resize(10, 10);
    CHECK(!img.beginUpdate());
    CHECK(!engine.isActive());
    return 0;
}

DTEST_CHILD(initOnShallowDisplayRefused)
{
    QWidget widget;
    widget.resize(64, 48);
    CHECK(dtest::showAndWait(&widget));
    cSDLEngine engine;
    CHECK(!engine.init(&widget));
    return 0;
}

DTEST_CHILD(updatesNeedVideoAndSize)
{
    cSDLEngine idle;
    cUniImg early(&idle);
    early.resize(10, 10);
    CHECK(!early.mData);  // no surfaces before init
    CHECK(!early.beginUpdate());

    SdlFixture f;
    CHECK(f.ready);
    cUniImg unsized(&f.engine);
    CHECK(!unsized.beginUpdate());
    CHECK(!f.engine.isActive());
    CHECK(!f.engine.currentImage());

    cUniImg flat(&f.engine);
    flat.resize(0, 10);
    CHECK(!flat.beginUpdate());
    CHECK(!flat.mData);

    // Regression: SDL keeps a 16-bit pitch, so a wider surface got a buffer
    // too small for its rows. Such an image gets no surface and draws nothing.
    cUniImg wide(&f.engine);
    wide.resize(20000, 4);
    CHECK(!wide.mData);
    CHECK(!wide.beginUpdate());
    CHECK(!f.engine.isActive());
    wide.fillRect(QRect(0, 0, 20000, 4), Qt::red);
    wide.endUpdate();

    cUniImg negative(&f.engine);
    negative.resize(-1, -1);
    CHECK(!negative.mData);
    return 0;
}

DTEST_CHILD(pixelsKeptWhileSizeUnchanged)
{
    SdlCanvas f(QSize(20, 10));
    CHECK(f.ready);
    cUniImg& img = f.img;
    SDL_Surface* s = f.surface(img);
    CHECK(s);
    CHECK_EQ(s->w, 20);
    CHECK_EQ(s->h, 10);
    CHECK_EQ(s->format->BitsPerPixel, 32);
    CHECK_EQ(s->format->Amask, 0xff000000u);
    CHECK_EQ(s->format->Rmask, 0x00ff0000u);
    CHECK(s->flags & SDL_SRCALPHA);
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0u), 200);

    CHECK(img.beginUpdate());
    CHECK(f.engine.isActive());
    img.fillRect(QRect(2, 3, 4, 5), QColor(10, 20, 30, 40));
    CHECK(img.endUpdate());
    CHECK(!f.engine.isActive());
    // Drawing between updates does nothing.
    img.fillRect(QRect(0, 0, 20, 10), Qt::red);
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0x280a141eu), 20);

    CHECK(img.beginUpdate());
    CHECK(f.surface(img) == s);
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0x280a141eu), 20);
    CHECK(img.endUpdate());

    img.resize(20, 10);
    CHECK(f.surface(img) == s);
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0x280a141eu), 20);

    img.resize(30, 10);
    s = f.surface(img);
    CHECK(s);
    CHECK_EQ(s->w, 30);
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0u), 300);
    CHECK(img.beginUpdate());
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0u), 300);
    CHECK(img.endUpdate());
    return 0;
}

DTEST_CHILD(screenShowsSurfaceAfterFlip)
{
    SdlFixture f(QSize(200, 150));
    CHECK(f.ready);
    cUniScreen screen;
    screen.setWidget(&f.widget);
    cUniImg::switchEngine(&f.engine);

    // The video surface takes the widget's size, whatever the handle asks.
    screen.resize(50, 40);
    SDL_Surface* s = f.surface(screen);
    CHECK(s);
    CHECK_EQ(s->w, 200);
    CHECK_EQ(s->h, 150);
    CHECK_EQ(s->format->BytesPerPixel, 4);

    CHECK(screen.beginUpdate());
    CHECK(f.widget.testAttribute(Qt::WA_PaintOnScreen));
    CHECK(f.widget.testAttribute(Qt::WA_OpaquePaintEvent));
    CHECK(f.widget.testAttribute(Qt::WA_NoSystemBackground));
    s = f.surface(screen);
    // Cleared to opaque black over the whole widget.
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0xff000000u), 200 * 150);
    screen.fillRect(QRect(10, 20, 30, 40), QColor(255, 0, 0));
    QImage green(2, 2, QImage::Format_RGB32);
    green.fill(QColor(0, 255, 0));
    screen.drawImage(QRect(100, 20, 40, 30), green, green.rect());
    CHECK(screen.endUpdate());

    QTest::qWait(50);
    const QImage shown = dtest::grabWidget(&f.widget);
    CHECK_EQ(shown.width(), 200);
    CHECK_EQ(shown.pixel(10, 20), 0xffff0000u);
    CHECK_EQ(shown.pixel(39, 59), 0xffff0000u);
    CHECK_EQ(shown.pixel(40, 59), 0xff000000u);
    CHECK_EQ(shown.pixel(150, 100), 0xff000000u);
    CHECK_EQ(dtest::countPixels(shown, 0xffff0000u), 30 * 40);
    CHECK_EQ(dtest::countPixels(shown, 0xff00ff00u), 40 * 30);
    CHECK_EQ(shown.pixel(139, 49), 0xff00ff00u);

    // The next update starts black again.
    CHECK(screen.beginUpdate());
    CHECK_EQ(dtest::countPixels(surfaceImage(f.surface(screen)), 0xff000000u), 200 * 150);
    CHECK(screen.endUpdate());

    cUniImg off(&f.engine);
    off.resize(4, 4);
    CHECK(off.beginUpdate());
    CHECK(off.endUpdate());
    return 0;
}

class tst_SDLEngine : public QObject
{
    Q_OBJECT

private slots:
    void initPutsWindowIdIntoEnvironment() { EXPECT_CHILD_PASSES("initPutsWindowIdIntoEnvironment"); }
    void initWithoutWidgetRefused() { EXPECT_CHILD_PASSES("initWithoutWidgetRefused", 30000, {"SDL_WINDOWID=untouched"}); }
    void initOnShallowDisplayRefused();
    void updatesNeedVideoAndSize() { EXPECT_CHILD_PASSES("updatesNeedVideoAndSize"); }
    void pixelsKeptWhileSizeUnchanged() { EXPECT_CHILD_PASSES("pixelsKeptWhileSizeUnchanged"); }
    void screenShowsSurfaceAfterFlip() { EXPECT_CHILD_PASSES("screenShowsSurfaceAfterFlip"); }
};

// A display of 16 bits per pixel, from an X server of our own.
void tst_SDLEngine::initOnShallowDisplayRefused()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        QSKIP("Xvfb is not installed");
    int fds[2];
    QVERIFY(pipe(fds) == 0);
    QProcess server;
    server.setProgram(xvfb);
    server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("320x240x16"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp")});
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start();
    QVERIFY(server.waitForStarted(5000));
    ::close(fds[1]);
    QByteArray display;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        display.append(c);
    ::close(fds[0]);
    QVERIFY2(!display.isEmpty(), "Xvfb reported no display");

    EXPECT_CHILD_PASSES("initOnShallowDisplayRefused", 30000, {QStringLiteral("DISPLAY=:") + QString::fromLatin1(display)});
    server.terminate();
    server.waitForFinished(5000);
}

DTEST_MAIN(tst_SDLEngine)

#include "tst_sdlengine.moc"
