// Setup, surfaces, frames, drawing and text of the SDL engine, read back from
// the surfaces and from the X server. Rectangles reaching past SDL_Rect's
// 16-bit fields are cases of the drawing fuzzer's corpus (tests/fuzz).

#include "sdlfixture.h"

#include <atlasfile.h>

#include <dorurizar/unifontmap.h>
#include <dorurizar/uniscreen.h>

#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include <unistd.h>

namespace {

const unsigned kRed = 0xffff0000u, kGreen = 0xff00ff00u, kBlue = 0xff0000ffu, kBlack = 0xff000000u;
const unsigned kBackground = 0xff123456u;

// Whether some environment entry points into [begin, end).
bool environmentPointsInto(char const* begin, char const* end)
{
    for (char** entry = environ; *entry; ++entry)
        if (*entry >= begin && *entry < end)
            return true;
    return false;
}

// Starts an X server of 16 bits per pixel; returns its display, or nothing.
QByteArray startShallowServer(QProcess& server)
{
    int fds[2];
    if (pipe(fds) != 0)
        return QByteArray();
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral("Xvfb"),
                 QStringLiteral("-displayfd %1 -screen 0 320x240x16 -nolisten tcp").arg(fds[1]).split(' '));
    const bool started = server.waitForStarted(5000);
    ::close(fds[1]);
    QByteArray display;
    char c;
    while (started && ::read(fds[0], &c, 1) == 1 && c != '\n')
        display.append(c);
    ::close(fds[0]);
    return display;
}

// Source pixel (x, y) of the test pictures: opaque and distinct.
unsigned sourceValue(int x, int y)
{
    return 0xff000000u | unsigned(x + 1) << 16 | unsigned(y + 1) << 8 | 0x5a;
}

QImage picture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, sourceValue(x, y));
    return img;
}

// The source offset that target offset c takes in a span of sw scaled to dw.
int sampled(long long c, long long sw, long long dw)
{
    return int(((c + 1) * sw + dw - 1) / dw - 1);
}

// A canvas of the background with srcRect of a w x h test picture copied
// into dstRect; source pixels outside the picture are never drawn.
QImage scaledCopy(QSize canvas, QRect const& srcRect, QRect const& dstRect, QSize const& src)
{
    QImage out(canvas, QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const int sx = srcRect.left() + sampled(x - dstRect.left(), srcRect.width(), dstRect.width());
            const int sy = srcRect.top() + sampled(y - dstRect.top(), srcRect.height(), dstRect.height());
            const bool inside = dstRect.contains(x, y) && QRect(QPoint(), src).contains(sx, sy);
            out.setPixel(x, y, inside ? sourceValue(sx, sy) : kBackground);
        }
    return out;
}

// Every channel within tolerance, alpha exactly.
bool near(unsigned actual, unsigned expected, int tolerance)
{
    return qAlpha(actual) == qAlpha(expected) && qAbs(qRed(actual) - qRed(expected)) <= tolerance
        && qAbs(qGreen(actual) - qGreen(expected)) <= tolerance && qAbs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

QImage uniform(QSize size, unsigned value, QImage::Format format = QImage::Format_ARGB32)
{
    QImage img(size, format);
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono)
        img.setColorTable({value, value});
    img.fill(img.colorCount() ? 0 : value);
    return img;
}

// Sizes img and runs draw in one update of it.
template <class Draw>
bool recorded(cUniImg& img, QSize size, Draw draw)
{
    img.resize(size);
    return img.beginUpdate() && (draw(), img.endUpdate());
}

// img with the given rectangles set to value.
QImage filled(QImage img, QList<QRect> const& rects, unsigned value)
{
    for (QRect const& r : rects)
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(img.scanLine(y)) + r.left(), r.width(), value);
    return img;
}

// 'a' is 5 wide, 'b' 7; every other byte has an empty box.
int glyphWidth(int byte)
{
    return byte == 'a' ? 5 : byte == 'b' ? 7 : 0;
}

int const kHeight = 8;

// The font of the synthetic atlas with border 1, written into a cache of
// its own; the registry loads the cache once per process.
struct TextFixture : SdlCanvas {
    TextFixture()
        : SdlCanvas(QSize(120, 60), QSize(160, 80))
        , info(QStringLiteral("Synth"), 10, -1, 1, QColor::fromRgba(kRed), QColor::fromRgba(kBlue), false)
    {
        cFontInfo::makeCacheBasePath(dir.path() + QLatin1Char('/'));
        const atlasfile::Synthetic atlas = atlasfile::makeSynthetic(glyphWidth, kHeight, 1, kRed, kBlue);
        ready = ready && atlasfile::writeAtlas(dir.path(), info.mName, atlas.image, atlas.boxes);
        font.reset(new cUniFontMap(info));
    }

    QTemporaryDir dir;
    cFontInfo info;
    std::unique_ptr<cUniFontMap> font;
};

// The canvas with "ab" drawn with its first cell at (x, y): boxes in red,
// each box's one-pixel ring right and below in blue, the next glyph 5 + 1
// further; nothing but black when not drawn.
QImage textAt(int x, int y, bool drawn)
{
    QImage out = uniform(QSize(120, 60), kBlack);
    QPainter p(&out);
    for (QRect const& box : {QRect(x, y, 5, kHeight), QRect(x + 6, y, 7, kHeight)}) {
        p.fillRect(box.adjusted(0, 0, 1, 1), QColor::fromRgba(drawn ? kBlue : kBlack));
        p.fillRect(box, QColor::fromRgba(drawn ? kRed : kBlack));
    }
    return out;
}

} // namespace

class tst_SDLEngine : public QObject
{
    Q_OBJECT

private slots:
    void initPutsWindowIdIntoEnvironment()
    {
        DTEST_IN_CHILD(30000);
        QWidget widget;
        widget.resize(64, 48);
        QVERIFY(dtest::showAndWait(&widget));
        cSDLEngine* engine = new cSDLEngine;
        QVERIFY(!engine->isActive() && engine->init(&widget));
        const QByteArray expected = "0x" + QByteArray::number(qulonglong(widget.winId()), 16);
        QCOMPARE(qgetenv("SDL_WINDOWID"), expected);
        QCOMPARE(qgetenv("SDL_VIDEODRIVER"), QByteArray("x11"));
        // Xvfb offers no hardware surfaces: a frameless software surface.
        QCOMPARE(engine->mSurfaceFlags, 0x20u);
        // Regression: the environment kept pointing into the destroyed engine.
        char const* begin = reinterpret_cast<char const*>(engine);
        QVERIFY(environmentPointsInto(begin, begin + sizeof(cSDLEngine)));
        delete engine;
        QVERIFY(!environmentPointsInto(begin, begin + sizeof(cSDLEngine)));
        QCOMPARE(qgetenv("SDL_WINDOWID"), expected);
    }

    void initRefused_data()
    {
        QTest::addColumn<bool>("shallow");
        // Regression: init(nullptr) dereferenced the null widget.
        QTest::newRow("no widget") << false;
        QTest::newRow("16-bit display") << true;
    }
    void initRefused()
    {
        QFETCH(bool, shallow);
        if (dtest::isSharedChild())
            QSKIP("runs in a child process of its own");
        if (!dtest::isChild()) {
            QProcess server;
            QStringList env{QStringLiteral("SDL_WINDOWID=untouched")};
            if (shallow) {
                const QByteArray display = startShallowServer(server);
                QVERIFY2(!display.isEmpty(), "no Xvfb of 16 bits per pixel");
                env << QStringLiteral("DISPLAY=:") + QString::fromLatin1(display);
            }
            const QByteArray failure = dtest::failureOf(dtest::runThisInChild(30000, env));
            server.terminate();
            server.waitForFinished(5000);
            QVERIFY2(failure.isEmpty(), failure.constData());
            return;
        }
        QWidget widget;
        widget.resize(64, 48);
        QVERIFY(!shallow || dtest::showAndWait(&widget));
        cSDLEngine engine;
        QVERIFY(!engine.init(shallow ? &widget : nullptr));
        if (shallow)
            return;  // video stays initialised there
        QCOMPARE(qgetenv("SDL_WINDOWID"), QByteArray("untouched"));
        cUniImg img(&engine);
        img.resize(10, 10);
        QVERIFY(!img.beginUpdate() && !engine.isActive());
    }

    void updatesNeedVideoAndSize_data()
    {
        QTest::addColumn<bool>("video");
        QTest::addColumn<QSize>("size");
        QTest::newRow("before init") << false << QSize(10, 10);
        QTest::newRow("unsized") << true << QSize(-1, -1);
        QTest::newRow("zero wide") << true << QSize(0, 10);
        // Regression: SDL keeps a 16-bit pitch, so a wider surface got a
        // buffer too small for its rows. 16383 pixels of 4 bytes still fit.
        QTest::newRow("too wide") << true << QSize(16384, 4);
    }
    void updatesNeedVideoAndSize()
    {
        DTEST_IN_CHILD(30000);
        QFETCH(bool, video);
        QFETCH(QSize, size);
        std::unique_ptr<SdlFixture> f(video ? new SdlFixture : nullptr);
        cSDLEngine idle;
        cSDLEngine& engine = f ? f->engine : idle;
        QVERIFY(!f || f->ready);
        cUniImg img(&engine);
        img.resize(size);
        QVERIFY(!img.mData && !img.beginUpdate() && !engine.isActive());
        QCOMPARE(engine.currentImage() != nullptr, video && !size.isEmpty());  // open but inactive
        img.fillRect(QRect(QPoint(), size), Qt::red);
        img.endUpdate();
    }

    void pixelsKeptWhileSizeUnchanged()
    {
        SDL_CHILD_CASE(SdlCanvas, f, QSize(20, 10));
        SDL_Surface* s = f.surface(f.img);
        QVERIFY(s);
        // Its layout is ARGB: the pixel values below prove it.
        QCOMPARE(QSize(s->w, s->h), QSize(20, 10));
        QCOMPARE(f.count(0u), 200);
        QVERIFY(f.begin() && f.engine.isActive());
        f.img.fillRect(QRect(2, 3, 4, 5), QColor(10, 20, 30, 40));
        QVERIFY(f.img.endUpdate() && !f.engine.isActive());
        f.img.fillRect(QRect(0, 0, 20, 10), Qt::red);  // between updates: nothing
        QCOMPARE(f.count(0x280a141eu), 20);
        QVERIFY(f.begin());
        QCOMPARE(f.surface(f.img), s);
        QCOMPARE(f.count(0x280a141eu), 20);
        QVERIFY(f.img.endUpdate());
        f.img.resize(20, 10);
        QCOMPARE(f.surface(f.img), s);
        QCOMPARE(f.count(0x280a141eu), 20);
        f.img.resize(30, 10);
        QVERIFY(f.surface(f.img) && f.surface(f.img)->w == 30 && f.begin());
        QCOMPARE(f.count(0u), 300);
        QVERIFY(f.img.endUpdate());
        f.img.resize(16383, 2);  // the widest a 16-bit pitch holds
        QVERIFY(f.surface(f.img) && f.surface(f.img)->pitch == 16383 * 4 && f.begin());
        f.img.fillRect(QRect(16382, 1, 1, 1), Qt::red);
        QVERIFY(f.img.endUpdate());
        QCOMPARE(f.count(kRed), 1);
    }

    // Regression: destroying the image being updated left the engine reading
    // the freed handle.
    void handleDestroyedMidUpdate()
    {
        SDL_CHILD_CASE(SdlFixture, f);
        std::unique_ptr<cUniImg> img(new cUniImg(&f.engine));
        img->resize(8, 8);
        QVERIFY(img->beginUpdate());
        img.reset();
        QVERIFY(!f.engine.isActive() && !f.engine.currentImage());
    }

    void screenShowsSurfaceAfterFlip()
    {
        SDL_CHILD_CASE(SdlFixture, f, QSize(200, 150));
        cUniScreen screen;
        screen.setWidget(&f.widget);
        cUniImg::switchEngine(&f.engine);
        // The video surface takes the widget's size, whatever the handle asks.
        screen.resize(50, 40);
        QVERIFY(f.surface(screen));
        QCOMPARE(QSize(f.surface(screen)->w, f.surface(screen)->h), QSize(200, 150));
        QCOMPARE(f.surface(screen)->format->BytesPerPixel, Uint8(4));
        const QImage black = uniform(QSize(200, 150), kBlack);
        for (int frame = 0; frame < 2; ++frame) {
            QVERIFY(screen.beginUpdate());
            for (auto attribute : {Qt::WA_PaintOnScreen, Qt::WA_OpaquePaintEvent, Qt::WA_NoSystemBackground})
                QVERIFY(f.widget.testAttribute(attribute));
            // Every update starts opaque black over the whole widget.
            QCOMPARE(surfaceImage(f.surface(screen)), black);
            screen.fillRect(QRect(10, 20, 30, 40), QColor(255, 0, 0));
            screen.drawImage(QRect(100, 20, 40, 30), uniform(QSize(2, 2), kGreen, QImage::Format_RGB32), QRect(0, 0, 2, 2));
            QVERIFY(screen.endUpdate());
        }
        QTest::qWait(50);
        QCOMPARE(dtest::grabWidget(&f.widget).convertToFormat(QImage::Format_ARGB32),
                 filled(filled(black, {{10, 20, 30, 40}}, kRed), {{100, 20, 40, 30}}, kGreen));
    }

    // Target cell c of a span of dw takes source cell ceil((c + 1) sw / dw) - 1
    // of a span of sw: the last source pixel of its share (the scenes hold
    // hand-counted cases of it).
    void stretchSamplesByTheRule_data()
    {
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<QRect>("source");
        QTest::addColumn<QRect>("target");
        QTest::newRow("2 to 4") << QSize(2, 1) << QRect(0, 0, 2, 1) << QRect(0, 0, 4, 1);
        QTest::newRow("4 to 2") << QSize(4, 1) << QRect(0, 0, 4, 1) << QRect(0, 0, 2, 1);
        QTest::newRow("3 to 2") << QSize(3, 1) << QRect(0, 0, 3, 1) << QRect(0, 0, 2, 1);
        QTest::newRow("part, both ways") << QSize(9, 7) << QRect(1, 2, 7, 5) << QRect(2, 1, 13, 3);
        QTest::newRow("part, grown") << QSize(9, 7) << QRect(0, 1, 9, 5) << QRect(3, 2, 22, 17);
        // Regression: a source rectangle reaching outside the source was read
        // in place, outside the source's memory.
        QTest::newRow("around the source") << QSize(4, 4) << QRect(-2, -2, 8, 8) << QRect(0, 0, 16, 16);
        QTest::newRow("left of it") << QSize(4, 4) << QRect(-3, 1, 10, 2) << QRect(1, 2, 5, 9);
        QTest::newRow("past its end") << QSize(4, 4) << QRect(2, 2, 5, 5) << QRect(3, 3, 7, 7);
        QTest::newRow("past both") << QSize(4, 4) << QRect(-2, -2, 8, 8) << QRect(-6, -3, 23, 30);
        QTest::newRow("same size") << QSize(4, 4) << QRect(-2, -2, 4, 4) << QRect(0, 0, 4, 4);
        QTest::newRow("wholly outside") << QSize(4, 4) << QRect(10, 10, 3, 3) << QRect(0, 0, 6, 6);
        QTest::newRow("huge") << QSize(4, 4) << QRect(-100000, 0, 200000, 4) << QRect(0, 0, 24, 20);
    }
    void stretchSamplesByTheRule()
    {
        QFETCH(QSize, pictureSize);
        QFETCH(QRect, source);
        QFETCH(QRect, target);
        SDL_CHILD_CASE(SdlCanvas, f, QSize(30, 20));
        const QImage image = picture(pictureSize.width(), pictureSize.height());
        cUniImg handle(&f.engine);
        QVERIFY(recorded(handle, pictureSize, [&] { handle.drawImage(handle.rect(), image, image.rect()); }) && f.begin());
        for (bool fromHandle : {false, true}) {
            f.clear(QColor::fromRgba(kBackground));
            fromHandle ? f.img.drawImage(target, handle, source) : f.img.drawImage(target, image, source);
            QCOMPARE(f.pixels(), scaledCopy(f.img.size(), source, target, pictureSize));
        }
    }

    // A same-size copy is a direct blit: it follows the source surface's own
    // flags. A scaled copy goes through the engine's stretch surface, which blends.
    void sameSizeIsOneBlitWithSourceFlags()
    {
        SDL_CHILD_CASE(SdlCanvas, f, QSize(16, 8));
        cUniImg src(&f.engine);
        QVERIFY(recorded(src, QSize(4, 4), [&] { src.fillRect(src.rect(), QColor(255, 0, 0, 128)); }) && f.begin());
        f.clear(QColor(0, 0, 255));
        f.img.drawImage(QRect(0, 0, 4, 4), src, src.rect());
        QVERIFY(near(f.pixel(1, 1), qRgba(128, 0, 127, 255), 2));
        SDL_SetAlpha(f.surface(src), 0, 255);
        f.img.drawImage(QRect(4, 0, 4, 4), src, src.rect());
        QCOMPARE(f.pixel(5, 1), 0x80ff0000u);
        f.img.drawImage(QRect(8, 0, 8, 8), src, src.rect());
        QCOMPARE(f.pixel(9, 1), f.pixel(1, 1));
    }

    // Pictures with alpha blend, opaque ones are copied; the target keeps its
    // alpha either way, and fillRect stores its value, alpha included.
    void copiesBlendByThePicturesAlpha_data()
    {
        QTest::addColumn<QImage>("source");
        QTest::addColumn<QRect>("target");
        QTest::addColumn<unsigned>("background");
        QTest::addColumn<unsigned>("expected");
        const QImage opaque = uniform(QSize(2, 2), 0xffc86432u, QImage::Format_RGB32);
        const QImage half = uniform(QSize(2, 2), 0x80ff0000u), full = uniform(QSize(2, 2), kRed);
        QTest::newRow("opaque, scaled") << opaque << QRect(1, 1, 5, 5) << 0xff0000ffu << 0xffc86432u;
        QTest::newRow("half, scaled") << half << QRect(1, 1, 5, 5) << 0xff0000ffu << 0xff80007fu;
        // Regression: the same-size copy was an RLE blit, which zeroed the
        // target's alpha under translucent pixels.
        QTest::newRow("half, same size") << half << QRect(1, 1, 2, 2) << 0xff0000ffu << 0xff80007fu;
        QTest::newRow("half on half, same size") << half << QRect(1, 1, 2, 2) << 0x640000ffu << 0x6480007fu;
        QTest::newRow("half on half, scaled") << half << QRect(1, 1, 4, 2) << 0x640000ffu << 0x6480007fu;
        QTest::newRow("full on half, same size") << full << QRect(1, 1, 2, 2) << 0x640000ffu << 0x64ff0000u;
        QTest::newRow("full on half, scaled") << full << QRect(1, 1, 4, 2) << 0x640000ffu << 0x64ff0000u;
    }
    void copiesBlendByThePicturesAlpha()
    {
        QFETCH(QImage, source);
        QFETCH(QRect, target);
        QFETCH(unsigned, background);
        QFETCH(unsigned, expected);
        SDL_CHILD_CASE(SdlCanvas, f, QSize(8, 8));
        QVERIFY(f.begin());
        f.clear(QColor::fromRgba(background));
        f.img.drawImage(target, source, source.rect());
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool inside = target.contains(x, y);
                QVERIFY2(near(f.pixel(x, y), inside ? expected : background, inside ? 2 : 0),
                         qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(f.pixel(x, y), 0, 16)));
            }
        f.img.fillRect(target, QColor(255, 0, 0, 128));
        QCOMPARE(f.count(0x80ff0000u), target.width() * target.height());
    }

    // Regression: images of other formats were read as 32-bit pixels, past
    // their end.
    void otherImageFormatsConverted_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::newRow("indexed") << uniform(QSize(3, 3), kGreen, QImage::Format_Indexed8);
        QTest::newRow("mono") << uniform(QSize(5, 3), kBlue, QImage::Format_Mono);
        QTest::newRow("rgb16") << uniform(QSize(7, 3), kRed, QImage::Format_RGB16);
        QTest::newRow("rgb888") << uniform(QSize(7, 3), 0xffffffffu, QImage::Format_RGB888);
    }
    void otherImageFormatsConverted()
    {
        QFETCH(QImage, image);
        SDL_CHILD_CASE(SdlCanvas, f, QSize(40, 10));
        QVERIFY(f.begin());
        f.img.drawImage(QRect(0, 0, image.width(), image.height()), image, image.rect());
        f.img.drawImage(QRect(0, 4, image.width() * 2, 5), image, image.rect());
        const unsigned expected = image.convertToFormat(QImage::Format_ARGB32).pixel(0, 0);
        QCOMPARE(f.count(expected), image.width() * 3 + image.width() * 2 * 5);
    }

    void nothingToDrawFrom()
    {
        SDL_CHILD_CASE(SdlCanvas, f, QSize(10, 10));
        cUniImg empty(&f.engine), unsized(&f.engine);
        QVERIFY(recorded(unsized, QSize(4, 4), [&] { unsized.fillRect(unsized.rect(), Qt::red); }));
        unsized.mSize = QSize(-1, -1);
        QVERIFY(f.begin());
        f.img.drawImage(QRect(0, 0, 10, 10), empty, QRect(0, 0, 4, 4));
        f.img.drawImage(QRect(0, 0, 10, 10), unsized, QRect(0, 0, 4, 4));
        f.img.drawImage(QRect(0, 0, 10, 10), QImage(), QRect(0, 0, 4, 4));
        f.img.drawImage(QRect(0, 0, 10, 10), picture(4, 4), QRect(3, 3, -2, 2));
        f.img.drawImage(QRect(5, 5, -3, 2), picture(4, 4), QRect(0, 0, 4, 4));
        QCOMPARE(f.count(0u), 100);
        // Drawing an image into itself.
        f.clear(Qt::black);
        f.img.fillRect(QRect(0, 0, 2, 2), Qt::red);
        f.img.drawImage(QRect(2, 2, 8, 8), f.img, QRect(0, 0, 4, 4));
        QCOMPARE(f.count(kRed), 4 + 16);
    }

    void glyphCellsAdvanceByWidthAndBorder_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("cell");  // of the first glyph; none when null
        // "ab" measures 5 + 1 + 7 + 1 = 14 by 8; left and right-bottom
        // alignment, and a font without an atlas, are scenes of every engine.
        const QRect box(QPoint(10, 10), QPoint(109, 49));
        QTest::newRow("centre") << box << int(Qt::AlignCenter) << "ab" << QPoint(10 + 50 - 7, 10 + 20 - 4);
        QTest::newRow("cut at top left") << QRect(-8, -3, 5, 5) << 0 << "ab" << QPoint(-8, -3);
        QTest::newRow("cut at bottom right") << QRect(114, 55, 5, 5) << 0 << "ab" << QPoint(114, 55);
        // Far positions are cut before they reach SDL_Rect's 16-bit fields.
        QTest::newRow("far right") << QRect(65536 + 10, 65536 + 10, 5, 5) << 0 << "ab" << QPoint();
        QTest::newRow("far left") << QRect(-65536 + 10, 10, 5, 5) << 0 << "ab" << QPoint();
        QTest::newRow("no text") << box << 0 << "" << QPoint();
        QTest::newRow("invalid rect") << QRect(10, 10, -5, 20) << 0 << "ab" << QPoint();
    }
    void glyphCellsAdvanceByWidthAndBorder()
    {
        QFETCH(QRect, rect);
        QFETCH(int, flags);
        QFETCH(QString, text);
        QFETCH(QPoint, cell);
        SDL_CHILD_CASE(TextFixture, f);
        QCOMPARE(f.font->border(), 1);
        QVERIFY(f.begin());
        f.clear(QColor::fromRgba(kBlack));  // blits keep the target's alpha
        f.img.drawText(rect, flags, text, *f.font);
        QCOMPARE(f.pixels(), textAt(cell.x(), cell.y(), !cell.isNull()));
    }
};

DTEST_MAIN(tst_SDLEngine)
#include "tst_sdlengine.moc"
