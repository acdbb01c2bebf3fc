// The SDL engine's drawing calls on 1920 x 1080 off-screen surfaces, each
// beside the bare SDL call doing the same work in the same run, and a
// multiview frame on the screen surface. Needs an X display of 32 bits per
// pixel (xvfb-run -s "-screen 0 1280x1024x24").

#include <benchratio.h>

#include <dorurizar/sdlengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

const QSize kSurface(1920, 1080);
const QRect kFill(100, 100, 1600, 800);
const QRect kPictureAt(300, 200, 704, 576);
const QRect kScaledTo(300, 200, 480, 270);
const Uint32 kMasks[4] = {0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u};  // r, g, b, a

QImage picture()
{
    QImage img(704, 576, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            row[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
    }
    return img;
}

// Everything the benchmarks share: SDL video in a shown widget, a
// 1920 x 1080 target and the picture as a handle, a QImage and a bare surface.
struct Setup {
    QWidget widget;
    cSDLEngine engine;
    std::unique_ptr<cUniImg> target;
    std::unique_ptr<cUniImg> source;
    QImage image = picture();
    SDL_Surface* bareTarget = nullptr;
    SDL_Surface* bareSource = nullptr;
    QTemporaryDir fontDir;
    std::unique_ptr<cUniFontMap> font;

    bool start()
    {
        widget.resize(1280, 960);
        widget.show();
        QElapsedTimer waited;
        waited.start();
        while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!engine.init(&widget))
            return false;
        target.reset(new cUniImg(&engine));
        target->resize(kSurface);
        source.reset(new cUniImg(&engine));
        source->resize(image.size());
        if (!source->beginUpdate())
            return false;
        source->drawImage(image.rect(), image, image.rect());
        source->endUpdate();

        // The bare calls draw into the engine's own target, so both sides
        // touch the same memory.
        bareTarget = engine.surfaceFromData(target->mData);
        bareSource = SDL_CreateRGBSurface(SDL_SWSURFACE, image.width(), image.height(), 32, kMasks[0], kMasks[1],
                                          kMasks[2], kMasks[3]);
        for (int y = 0; y < image.height(); ++y)
            memcpy(static_cast<uchar*>(bareSource->pixels) + y * bareSource->pitch, image.constScanLine(y),
                   size_t(image.width()) * 4);
        return bareTarget && bareSource && makeFont();
    }

    // A small atlas of labels' glyphs, written as the generator would.
    bool makeFont()
    {
        cFontInfo info(QStringLiteral("BenchSans"), 10, -1, 1, QColor(255, 255, 255), QColor(0, 0, 0), false);
        cFontInfo::makeCacheBasePath(fontDir.path() + QLatin1Char('/'));
        const int cw = 12, ch = 18;
        QImage atlas(16 * cw, 16 * ch, QImage::Format_ARGB32);
        atlas.fill(0);
        QPainter p(&atlas);
        p.setPen(Qt::white);
        QSettings rects(fontDir.path() + QLatin1Char('/') + info.mName + QStringLiteral(".rects"),
                        QSettings::IniFormat);
        rects.beginWriteArray(QStringLiteral("rects"), 256);
        for (int b = 0; b < 256; ++b) {
            const QRect box((b % 16) * cw, (b / 16) * ch, 7, 12);
            if (b >= 32 && b < 127)
                p.drawText(box, Qt::AlignCenter, QString(QChar(b)));
            rects.setArrayIndex(b);
            rects.setValue(QStringLiteral("x"), box.x());
            rects.setValue(QStringLiteral("y"), box.y());
            rects.setValue(QStringLiteral("w"), box.width());
            rects.setValue(QStringLiteral("h"), box.height());
        }
        rects.endArray();
        rects.sync();
        p.end();
        if (!atlas.save(fontDir.path() + QLatin1Char('/') + info.mName + QStringLiteral(".png"), "PNG"))
            return false;
        font.reset(new cUniFontMap(info));
        return !font->image().isNull();
    }

    ~Setup()
    {
        target.reset();
        source.reset();
        SDL_FreeSurface(bareSource);
    }
};

Setup* gSetup = nullptr;

SDL_Rect sdlRect(QRect const& r)
{
    SDL_Rect s;
    s.x = Sint16(r.x());
    s.y = Sint16(r.y());
    s.w = Uint16(r.width());
    s.h = Uint16(r.height());
    return s;
}

// Runs the benchmark body with an open update on the engine's target.
struct Update {
    explicit Update(cUniImg& img)
        : mImg(img)
    {
        mImg.beginUpdate();
    }
    ~Update() { mImg.endUpdate(); }
    cUniImg& mImg;
};

void Engine_FillRect(benchmark::State& state)
{
    Update u(*gSetup->target);
    for (auto _ : state)
        gSetup->target->fillRect(kFill, QColor(10, 20, 30, 200));
}
BENCHMARK(Engine_FillRect);

void Bare_SDL_FillRect(benchmark::State& state)
{
    for (auto _ : state) {
        SDL_Rect r = sdlRect(kFill);
        SDL_FillRect(gSetup->bareTarget, &r, QColor(10, 20, 30, 200).rgba());
    }
}
BENCHMARK(Bare_SDL_FillRect);

void Engine_DrawImage(benchmark::State& state)
{
    Update u(*gSetup->target);
    for (auto _ : state)
        gSetup->target->drawImage(kPictureAt, *gSetup->source, gSetup->image.rect());
}
BENCHMARK(Engine_DrawImage);

void Bare_SDL_UpperBlit(benchmark::State& state)
{
    for (auto _ : state) {
        SDL_Rect from = sdlRect(gSetup->image.rect());
        SDL_Rect to = sdlRect(kPictureAt);
        SDL_UpperBlit(gSetup->bareSource, &from, gSetup->bareTarget, &to);
    }
}
BENCHMARK(Bare_SDL_UpperBlit);

void Engine_DrawImageScaled(benchmark::State& state)
{
    Update u(*gSetup->target);
    for (auto _ : state)
        gSetup->target->drawImage(kScaledTo, gSetup->image, gSetup->image.rect());
}
BENCHMARK(Engine_DrawImageScaled);

void Bare_SDL_SoftStretch(benchmark::State& state)
{
    for (auto _ : state) {
        SDL_Rect from = sdlRect(gSetup->image.rect());
        SDL_Rect to = sdlRect(kScaledTo);
        SDL_SoftStretch(gSetup->bareSource, &from, gSetup->bareTarget, &to);
    }
}
BENCHMARK(Bare_SDL_SoftStretch);

// A picture with its own alpha, scaled: the copy is blended.
void Engine_DrawImageScaledBlended(benchmark::State& state)
{
    Update u(*gSetup->target);
    for (auto _ : state)
        gSetup->target->drawImage(kScaledTo, *gSetup->source, gSetup->image.rect());
}
BENCHMARK(Engine_DrawImageScaledBlended);

// 16 tiles of 320 x 240 with a scaled picture, a label, an outline, one
// highlighted tile, then the flip.
void Engine_MultiviewFrame(benchmark::State& state)
{
    cUniScreen screen;
    screen.setWidget(&gSetup->widget);
    screen.resize(gSetup->widget.size());
    cUniImg::switchEngine(&gSetup->engine);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        screen.beginUpdate();
        for (int i = 0; i < 16; ++i) {
            const QRect tile((i % 4) * 320, (i / 4) * 240, 320, 240);
            screen.drawImage(tile.adjusted(2, 2, -2, -2), gSetup->image, gSetup->image.rect());
            const QRect label(tile.left() + 4, tile.bottom() - 24, 200, 20);
            screen.fillRect(label, QColor(0, 0, 0, 160));
            screen.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Camera %1 entrance").arg(i + 1),
                            *gSetup->font);
            screen.drawRect(tile, i == 5 ? QColor(255, 200, 0) : QColor(80, 80, 80));
        }
        screen.drawGradient(QRect(320, 240, 320, 16), QColor(0, 0, 80), QColor(0, 120, 255));
        screen.endUpdate();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fps = double(state.iterations()) / seconds;
    state.counters["fps"] = fps;
    dbench::figure("multiview frame 1280x960, 16 tiles", fps, "fps");
}
// A fixed count runs the frame loop once, so the figure is recorded once.
BENCHMARK(Engine_MultiviewFrame)->Iterations(200)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Setup setup;
    if (!setup.start()) {
        std::fprintf(stderr, "SDL video does not run here (a 32-bit X display is needed)\n");
        return 1;
    }
    gSetup = &setup;
    dbench::pair("Engine_FillRect", "Bare_SDL_FillRect", dbench::Goal::AtMost, 1.05, "fillRect 1600x800");
    dbench::pair("Engine_DrawImage", "Bare_SDL_UpperBlit", dbench::Goal::AtMost, 1.05,
                 "drawImage 704x576 unscaled");
    dbench::pair("Engine_DrawImageScaled", "Bare_SDL_SoftStretch", dbench::Goal::AtLeast, 2.5,
                 "drawImage 704x576 -> 480x270 (speed-up)");
    return dbench::runAndReport(argc, argv);
}
