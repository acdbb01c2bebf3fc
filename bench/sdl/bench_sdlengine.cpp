// The SDL engine's drawing calls on 1920 x 1080 off-screen surfaces, each
// beside the bare SDL call doing the same work in the same run, and a
// multiview frame on the screen surface. Needs an X display of 32 bits per
// pixel (xvfb-run -s "-screen 0 1280x1024x24").

#include <benchfixtures.h>
#include <benchratio.h>
#include <camerafeed.h>

#include <dorurizar/sdlengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>
#include <dorurizar/uniyuvframe.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <SDL/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const QSize kSurface(1920, 1080);
const QRect kFill(100, 100, 1600, 800);
const QRect kPictureAt(300, 200, 704, 576);
const QRect kScaledTo(300, 200, 480, 270);
const Uint32 kMasks[4] = {0x00ff0000u, 0x0000ff00u, 0x000000ffu, 0xff000000u};  // r, g, b, a

// Everything the benchmarks share: SDL video in a shown widget, a
// 1920 x 1080 target and the picture as a handle, a QImage and a bare surface.
struct Setup {
    QWidget widget;
    cSDLEngine engine;
    std::unique_ptr<cUniImg> target;
    std::unique_ptr<cUniImg> source;
    QImage image = dbench::picture(QSize(704, 576), QImage::Format_RGB32);
    SDL_Surface* bareTarget = nullptr;
    SDL_Surface* bareSource = nullptr;
    QTemporaryDir fontDir;
    std::unique_ptr<cUniFontMap> font;

    bool start()
    {
        widget.resize(1280, 960);
        dbench::showExposed(widget);
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
        font = dbench::syntheticFont(fontDir.path(), QSize(7, 12), 1, dbench::Glyphs::Letters);
        return bareTarget && bareSource && font;
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

// The engine's fill and unscaled copy do the bare SDL call's work: each runs
// in turn with it (see dbench::Alternation).
void FillRect(benchmark::State& state)
{
    Update u(*gSetup->target);
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([] { gSetup->target->fillRect(kFill, QColor(10, 20, 30, 200)); });
        turns.baseline([] {
            SDL_Rect r = sdlRect(kFill);
            SDL_FillRect(gSetup->bareTarget, &r, QColor(10, 20, 30, 200).rgba());
        });
    }
}
BENCHMARK(FillRect);

void DrawImage(benchmark::State& state)
{
    Update u(*gSetup->target);
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([] { gSetup->target->drawImage(kPictureAt, *gSetup->source, gSetup->image.rect()); });
        turns.baseline([] {
            SDL_Rect from = sdlRect(gSetup->image.rect());
            SDL_Rect to = sdlRect(kPictureAt);
            SDL_UpperBlit(gSetup->bareSource, &from, gSetup->bareTarget, &to);
        });
    }
}
BENCHMARK(DrawImage);

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
// highlighted tile, a gradient strip, then the flip.
const int kTiles = 16;
const QRect kGradient(320, 240, 320, 16);
const QColor kGradient1(0, 0, 80);
const QColor kGradient2(0, 120, 255);

QRect tileAt(int i)
{
    return QRect((i % 4) * 320, (i / 4) * 240, 320, 240);
}

QRect pictureIn(QRect const& tile)
{
    return tile.adjusted(2, 2, -2, -2);
}

QRect labelIn(QRect const& tile)
{
    return QRect(tile.left() + 4, tile.bottom() - 24, 200, 20);
}

const QColor kLabelBack(0, 0, 0, 160);

QColor outlineOf(int i)
{
    return i == 5 ? QColor(255, 200, 0) : QColor(80, 80, 80);
}

// Made once: building the strings is the host's work, not the frame's.
std::vector<QString> const& labels()
{
    static std::vector<QString> list;
    if (list.empty())
        for (int i = 0; i < kTiles; ++i)
            list.push_back(QStringLiteral("Camera %1 entrance").arg(i + 1));
    return list;
}

void engineFrame(cUniScreen& screen)
{
    screen.beginUpdate();
    for (int i = 0; i < kTiles; ++i) {
        const QRect tile = tileAt(i);
        screen.drawImage(pictureIn(tile), gSetup->image, gSetup->image.rect());
        const QRect label = labelIn(tile);
        screen.fillRect(label, kLabelBack);
        screen.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, labels()[size_t(i)], *gSetup->font);
        screen.drawRect(tile, outlineOf(i));
    }
    screen.drawGradient(kGradient, kGradient1, kGradient2);
    screen.endUpdate();
}

void Engine_MultiviewFrame(benchmark::State& state)
{
    cUniScreen screen;
    screen.setWidget(&gSetup->widget);
    screen.resize(gSetup->widget.size());
    cUniImg::switchEngine(&gSetup->engine);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        engineFrame(screen);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fps = double(state.iterations()) / seconds;
    state.counters["fps"] = fps;
    dbench::figure("multiview frame 1280x960, 16 tiles", fps, "fps");
}
// A fixed count runs the frame loop once, so the figure is recorded once; it
// is long enough for the frames to outlast the load of a shared machine.
const int kFrames = 1000;
BENCHMARK(Engine_MultiviewFrame)->Iterations(kFrames)->Unit(benchmark::kMillisecond);

// The same frame with plain SDL calls on the same video surface: the atlas
// wrapped and every glyph's rectangles worked out once, the gradient as the
// obvious per-pixel loop. Only the picture's stretch differs between the two
// bare variants.
class BareFrame
{
public:
    enum Stretch { SoftStretch, PlainLoop };

    explicit BareFrame(Stretch stretch)
        : mStretch(stretch)
    {
        QImage const& atlas = gSetup->font->image();
        mAtlas = SDL_CreateRGBSurfaceFrom(const_cast<uchar*>(atlas.constBits()), atlas.width(), atlas.height(), 32,
                                          atlas.bytesPerLine(), kMasks[0], kMasks[1], kMasks[2], kMasks[3]);
        if (mAtlas)
            SDL_SetAlpha(mAtlas, SDL_SRCALPHA, 255);

        // SDL grows a glyph's cell by 4 x border and advances by its width plus the border.
        const int B = gSetup->font->border();
        for (int i = 0; i < kTiles; ++i) {
            for (dbench::GlyphCopy const& g :
                 dbench::labelGlyphs(*gSetup->font, labels()[size_t(i)], labelIn(tileAt(i)), false, 4 * B, B))
                mGlyphs.push_back({sdlRect(g.from), sdlRect(g.to)});
            mGlyphEnd.push_back(mGlyphs.size());
        }

        // Target cell c of a scaled axis takes source offset ceil((c + 1) * from / to) - 1.
        const QRect to = pictureIn(tileAt(0));
        for (int c = 0; c < to.width(); ++c)
            mColumns.push_back(int((qint64(c + 1) * gSetup->image.width() + to.width() - 1) / to.width() - 1));
        for (int r = 0; r < to.height(); ++r)
            mRows.push_back(int((qint64(r + 1) * gSetup->image.height() + to.height() - 1) / to.height() - 1));
    }

    ~BareFrame() { SDL_FreeSurface(mAtlas); }

    bool ready() const { return mAtlas && SDL_GetVideoSurface(); }

    void draw()
    {
        SDL_Surface* video = SDL_GetVideoSurface();
        SDL_FillRect(video, nullptr, 0xff000000u);
        size_t glyph = 0;
        for (int i = 0; i < kTiles; ++i) {
            const QRect tile = tileAt(i);
            stretchPicture(video, pictureIn(tile));
            SDL_Rect label = sdlRect(labelIn(tile));
            SDL_FillRect(video, &label, kLabelBack.rgba());
            for (; glyph < mGlyphEnd[size_t(i)]; ++glyph) {
                SDL_Rect from = mGlyphs[glyph].from;
                SDL_Rect to = mGlyphs[glyph].to;
                SDL_UpperBlit(mAtlas, &from, video, &to);
            }
            const Uint32 outline = outlineOf(i).rgba();
            SDL_Rect sides[4] = {sdlRect(QRect(tile.left(), tile.top(), tile.width(), 1)),
                                 sdlRect(QRect(tile.left(), tile.bottom(), tile.width(), 1)),
                                 sdlRect(QRect(tile.left(), tile.top(), 1, tile.height())),
                                 sdlRect(QRect(tile.right(), tile.top(), 1, tile.height()))};
            for (SDL_Rect& side : sides)
                SDL_FillRect(video, &side, outline);
        }
        gradient(video);
        SDL_Flip(video);
    }

private:
    struct Glyph {
        SDL_Rect from;
        SDL_Rect to;
    };

    void stretchPicture(SDL_Surface* video, QRect const& target)
    {
        if (mStretch == SoftStretch) {
            SDL_Rect from = sdlRect(gSetup->image.rect());
            SDL_Rect to = sdlRect(target);
            SDL_SoftStretch(gSetup->bareSource, &from, video, &to);
            return;
        }
        if (SDL_MUSTLOCK(video) && SDL_LockSurface(video) != 0)
            return;
        SDL_Surface const* src = gSetup->bareSource;
        for (int r = 0; r < target.height(); ++r) {
            const Uint32* in = reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(src->pixels)
                                                               + mRows[size_t(r)] * src->pitch);
            Uint32* out = reinterpret_cast<Uint32*>(static_cast<Uint8*>(video->pixels)
                                                    + (target.top() + r) * video->pitch)
                + target.left();
            for (int c = 0; c < target.width(); ++c)
                out[c] = in[mColumns[size_t(c)]];
        }
        if (SDL_MUSTLOCK(video))
            SDL_UnlockSurface(video);
    }

    static void gradient(SDL_Surface* video)
    {
        if (SDL_MUSTLOCK(video) && SDL_LockSurface(video) != 0)
            return;
        QRect const& g = kGradient;
        dbench::plainGradient(static_cast<uchar*>(video->pixels) + g.top() * video->pitch + g.left() * 4,
                              video->pitch, g.width(), g.height(), kGradient1.rgba(), kGradient2.rgba());
        if (SDL_MUSTLOCK(video))
            SDL_UnlockSurface(video);
    }

    Stretch mStretch;
    SDL_Surface* mAtlas = nullptr;
    std::vector<Glyph> mGlyphs;
    std::vector<size_t> mGlyphEnd;  // one past each tile's last glyph
    std::vector<int> mColumns;
    std::vector<int> mRows;
};

// SDL_SoftStretch is slower than the engine's own stretch; the plain loop is
// the engine's sampling written out, so its pixels match the engine's exactly.
void Bare_SDL_MultiviewFrame(benchmark::State& state)
{
    BareFrame bare(BareFrame::SoftStretch);
    if (!bare.ready()) {
        state.SkipWithError("no atlas wrapper or no video surface");
        return;
    }
    for (auto _ : state)
        bare.draw();
}
BENCHMARK(Bare_SDL_MultiviewFrame)->Iterations(kFrames)->Unit(benchmark::kMillisecond);

// The engine's frame and the plain-loop one in turn (see dbench::Alternation):
// the two are within a few per cent of each other, closer than separate runs
// on a shared machine agree.
void MultiviewFrameAndPlainStretch(benchmark::State& state)
{
    BareFrame bare(BareFrame::PlainLoop);
    if (!bare.ready()) {
        state.SkipWithError("no atlas wrapper or no video surface");
        return;
    }
    cUniScreen screen;
    screen.setWidget(&gSetup->widget);
    screen.resize(gSetup->widget.size());
    cUniImg::switchEngine(&gSetup->engine);
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([&] { engineFrame(screen); });
        turns.baseline([&] { bare.draw(); });
    }
}
BENCHMARK(MultiviewFrameAndPlainStretch)->Iterations(kFrames)->Unit(benchmark::kMillisecond);

// A wall of 16 cameras, 704 x 576 I420 each, into the multiview's pictures
// on the off-screen target: the frames drawn straight from their planes,
// beside what hosts do today (libswscale to a full-size RGB32 image, then
// that image drawn scaled). No flip: the tiles' own work only.
dbench::CameraFeed* gFeed = nullptr;

void Engine_WallYuv(benchmark::State& state)
{
    Update u(*gSetup->target);
    int frame = 0;
    for (auto _ : state) {
        for (int i = 0; i < kTiles; ++i) {
            cUniYuvFrame const& f = gFeed->frame(frame + i);
            gSetup->target->drawImage(pictureIn(tileAt(i)), f, f.rect());
        }
        ++frame;
    }
}
BENCHMARK(Engine_WallYuv)->Unit(benchmark::kMillisecond);

void Engine_WallSwscaleImage(benchmark::State& state)
{
    Update u(*gSetup->target);
    dbench::SwscaleToImage host;
    int frame = 0;
    for (auto _ : state) {
        for (int i = 0; i < kTiles; ++i) {
            QImage const& image = host.convert(gFeed->frame(frame + i));
            gSetup->target->drawImage(pictureIn(tileAt(i)), image, image.rect());
        }
        ++frame;
    }
}
BENCHMARK(Engine_WallSwscaleImage)->Unit(benchmark::kMillisecond);

QImage videoPixels()
{
    SDL_Surface* video = SDL_GetVideoSurface();
    if (!video || (SDL_MUSTLOCK(video) && SDL_LockSurface(video) != 0))
        return QImage();
    const QImage copy = QImage(static_cast<const uchar*>(video->pixels), video->w, video->h, video->pitch,
                               QImage::Format_ARGB32)
                            .copy();
    if (SDL_MUSTLOCK(video))
        SDL_UnlockSurface(video);
    return copy;
}

// The engine's frame and the plain-loop frame must leave the same pixels, or
// the ratio compares different work.
bool sameFrames()
{
    QImage engine;
    {
        cUniImg::switchEngine(&gSetup->engine);
        cUniScreen screen;
        screen.setWidget(&gSetup->widget);
        screen.resize(gSetup->widget.size());
        engineFrame(screen);
        engine = videoPixels();
    }
    BareFrame bare(BareFrame::PlainLoop);
    if (!bare.ready())
        return false;
    bare.draw();
    return !engine.isNull() && engine == videoPixels();
}

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
    if (!sameFrames()) {
        std::fprintf(stderr, "the bare multiview frame does not match the engine's\n");
        return 1;
    }
    dbench::CameraFeed feed(QSize(704, 576), 8);
    gFeed = &feed;
    dbench::pair("FillRect/engine", "FillRect/baseline", dbench::Goal::AtMost, 1.05, "fillRect 1600x800");
    dbench::pair("DrawImage/engine", "DrawImage/baseline", dbench::Goal::AtMost, 1.05, "drawImage 704x576 unscaled");
    dbench::pair("Engine_DrawImageScaled", "Bare_SDL_SoftStretch", dbench::Goal::AtLeast, 2.5,
                 "drawImage 704x576 -> 480x270 (speed-up)");
    const std::string frames = "/iterations:" + std::to_string(kFrames);
    dbench::pair("Engine_MultiviewFrame" + frames, "Bare_SDL_MultiviewFrame" + frames, dbench::Goal::AtMost, 1.10,
                 "sdl multiview frame");
    dbench::pair("MultiviewFrameAndPlainStretch" + frames + "/engine", "MultiviewFrameAndPlainStretch" + frames + "/baseline",
                 dbench::Goal::AtMost, 1.10, "sdl multiview frame, plain stretch loop");
    dbench::pair("Engine_WallYuv", "Engine_WallSwscaleImage", dbench::Goal::AtMost, 0.5,
                 "sdl 16-camera I420 wall vs swscale+QImage");
    return dbench::runAndReport(argc, argv);
}
