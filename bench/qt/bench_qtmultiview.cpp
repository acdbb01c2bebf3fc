// The Qt engine's multiview frame on a 1920 x 1080 widget beside the same work
// done with a bare QPainter in the same run. A frame: 16 off-screen tiles of
// 480 x 270, each a 704 x 576 picture scaled into it, a 20-glyph label from a
// font atlas and an outline; then the tiles painted into the widget from its
// paint event (Qt paints a widget nowhere else), shown and synced with the X
// server. Needs an X display of at least 1920 x 1080:
//   xvfb-run -a -s "-screen 0 1920x1080x24" bench_qtmultiview

#include <benchfixtures.h>
#include <benchratio.h>
#include <camerafeed.h>

#include <dorurizar/qtengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>
#include <dorurizar/uniyuvframe.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

const QSize kScreen(1920, 1080);
const int kTiles = 16;
const QSize kTile(480, 270);
const QSize kPicture(704, 576);
const int kPictures = 8;  // a tile shows another one every frame
const QRect kLabel(6, 6, 460, 20);
const int kLabelFlags = Qt::AlignLeft | Qt::AlignVCenter;
const int kGlyphW = 10;
const int kGlyphH = 14;

QRect tileRect(int i)
{
    return QRect(QPoint((i % 4) * kTile.width(), (i / 4) * kTile.height()), kTile);
}

QColor outlineColour(int i)
{
    return i == 5 ? QColor(255, 200, 0) : QColor(40, 200, 40);
}

QString label(int i)
{
    return QStringLiteral("Camera %1 / Entrance").arg(i + 1, 2, 10, QChar('0'));
}

class ScreenWidget : public QWidget
{
public:
    std::function<void()> mPaint;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (mPaint)
            mPaint();
    }
};

struct Shared {
    ScreenWidget widget;
    std::vector<QImage> pictures;
    std::vector<QString> labels;
    QTemporaryDir fontDir;
    std::unique_ptr<cUniFontMap> font;

    bool start()
    {
        for (int i = 0; i < kPictures; ++i)
            pictures.push_back(dbench::picture(kPicture, QImage::Format_RGB32, i));
        for (int i = 0; i < kTiles; ++i)
            labels.push_back(label(i));
        font = dbench::syntheticFont(fontDir.path(), QSize(kGlyphW, kGlyphH), 1, dbench::Glyphs::Letters);
        if (!font) {
            std::fprintf(stderr, "the benchmark font map did not load\n");
            return false;
        }
        widget.resize(kScreen);
        if (!dbench::showExposed(widget)) {
            std::fprintf(stderr, "the benchmark window was never exposed\n");
            return false;
        }
        const QSize screen = QGuiApplication::primaryScreen()->size();
        if (screen.width() < kScreen.width() || screen.height() < kScreen.height())
            std::fprintf(stderr, "the display is %dx%d, smaller than the 1920x1080 wall\n", screen.width(),
                         screen.height());
        return true;
    }

    QImage const& pictureFor(int frame, int tile) const { return pictures[size_t((frame + tile) % kPictures)]; }
};

Shared* gShared = nullptr;

struct EngineWall {
    cQTEngine engine;
    cUniScreen screen;
    std::vector<std::unique_ptr<cUniImg>> tiles;

    EngineWall()
    {
        engine.init(&gShared->widget);
        cUniImg::switchEngine(&engine);
        screen.setWidget(&gShared->widget);
        screen.resize(kScreen);
        for (int i = 0; i < kTiles; ++i) {
            tiles.emplace_back(new cUniImg);
            tiles.back()->resize(kTile);
        }
    }

    void updateTiles(int frame)
    {
        for (int i = 0; i < kTiles; ++i) {
            cUniImg& tile = *tiles[size_t(i)];
            QImage const& pic = gShared->pictureFor(frame, i);
            tile.beginUpdate();
            tile.drawImage(tile.rect(), pic, pic.rect());
            tile.drawText(kLabel, kLabelFlags, gShared->labels[size_t(i)], *gShared->font);
            tile.drawRect(tile.rect(), outlineColour(i));
            tile.endUpdate();
        }
    }

    // Runs inside the widget's paint event.
    void paintScreen()
    {
        screen.beginUpdate();
        for (int i = 0; i < kTiles; ++i)
            screen.drawImage(tileRect(i), *tiles[size_t(i)]);
        screen.endUpdate();
    }
};

// The same frame by hand: an image per tile, the same QPainter calls, the
// glyph rectangles of each label worked out once. The baseline keeps its
// tiles, as a program of its own would when the picture covers the tile; the
// other two ways to start a tile (clear it, or make a new image) show what
// the engine saves by skipping the clear that an opaque whole-tile picture
// makes unnecessary.
struct BareWall {
    enum TileStart { Keep, Clear, Replace };

    TileStart start = Keep;
    std::vector<QImage> tiles;
    std::vector<std::vector<QRectF>> glyphSources;
    std::vector<std::vector<QRectF>> glyphTargets;
    QPainter painter;

    // Qt grows a glyph's cell by 3 x border and advances by its width.
    BareWall()
    {
        cUniFontMap const& font = *gShared->font;
        for (int i = 0; i < kTiles; ++i) {
            tiles.emplace_back(kTile, QImage::Format_ARGB32);
            tiles.back().fill(0);
            std::vector<QRectF> sources, targets;
            for (dbench::GlyphCopy const& g :
                 dbench::labelGlyphs(font, gShared->labels[size_t(i)], kLabel, false, 3 * font.border(), 0)) {
                sources.emplace_back(g.from);
                targets.emplace_back(g.to);
            }
            glyphSources.push_back(sources);
            glyphTargets.push_back(targets);
        }
    }

    void updateTiles(int frame)
    {
        QImage const& atlas = gShared->font->image();
        for (int i = 0; i < kTiles; ++i) {
            QImage& tile = tiles[size_t(i)];
            QImage const& pic = gShared->pictureFor(frame, i);
            if (start == Clear) {
                tile.fill(0);
            } else if (start == Replace) {
                tile = QImage(kTile, QImage::Format_ARGB32);
                tile.fill(0);
            }
            painter.begin(&tile);
            painter.drawImage(QRectF(tile.rect()), pic, QRectF(pic.rect()), Qt::AutoColor);
            std::vector<QRectF> const& sources = glyphSources[size_t(i)];
            std::vector<QRectF> const& targets = glyphTargets[size_t(i)];
            for (size_t g = 0; g < sources.size(); ++g)
                painter.drawImage(targets[g], atlas, sources[g], Qt::AutoColor);
            painter.setPen(QPen(outlineColour(i)));
            painter.setBrush(Qt::NoBrush);
            const QRect outline(0, 0, kTile.width() - 1, kTile.height() - 1);
            painter.drawRects(&outline, 1);
            painter.end();
        }
    }

    void paintScreen()
    {
        QWidget& w = gShared->widget;
        painter.begin(&w);
        painter.fillRect(0, 0, w.width(), w.height(), Qt::black);
        for (int i = 0; i < kTiles; ++i)
            painter.drawImage(QRectF(tileRect(i)), tiles[size_t(i)], QRectF(tiles[size_t(i)].rect()),
                              Qt::AutoColor);
        painter.end();
    }
};

EngineWall* gEngine = nullptr;
BareWall* gBare = nullptr;

// Paints the widget now and waits until the X server has taken the frame.
void showFrame()
{
    gShared->widget.repaint();
    QGuiApplication::sync();
}

void Engine_QtMultiviewFrame(benchmark::State& state)
{
    gShared->widget.mPaint = [] { gEngine->paintScreen(); };
    int frame = 0;
    for (auto _ : state) {
        gEngine->updateTiles(frame++);
        showFrame();
    }
}

void Bare_QtMultiviewFrame(benchmark::State& state)
{
    gShared->widget.mPaint = [] { gBare->paintScreen(); };
    int frame = 0;
    for (auto _ : state) {
        gBare->updateTiles(frame++);
        showFrame();
    }
}

// The off-screen part alone, where the engine's own calls are most of the
// time: no widget flush or X server in it.
void Engine_QtMultiviewTiles(benchmark::State& state)
{
    int frame = 0;
    for (auto _ : state)
        gEngine->updateTiles(frame++);
}

void Bare_QtMultiviewTiles(benchmark::State& state)
{
    gBare->start = BareWall::TileStart(state.range(0));
    int frame = 0;
    for (auto _ : state)
        gBare->updateTiles(frame++);
    gBare->start = BareWall::Keep;
}

// A wall of 16 cameras, 704 x 576 I420 each, into the tiles: the frames
// drawn straight from their planes, beside what hosts do today (libswscale
// to a full-size RGB32 image, then that image drawn scaled).
dbench::CameraFeed* gFeed = nullptr;

void Engine_QtWallYuv(benchmark::State& state)
{
    int frame = 0;
    for (auto _ : state) {
        for (int i = 0; i < kTiles; ++i) {
            cUniImg& tile = *gEngine->tiles[size_t(i)];
            cUniYuvFrame const& f = gFeed->frame(frame + i);
            tile.beginUpdate();
            tile.drawImage(tile.rect(), f, f.rect());
            tile.endUpdate();
        }
        ++frame;
    }
}

void Engine_QtWallSwscaleImage(benchmark::State& state)
{
    dbench::SwscaleToImage host;
    int frame = 0;
    for (auto _ : state) {
        for (int i = 0; i < kTiles; ++i) {
            cUniImg& tile = *gEngine->tiles[size_t(i)];
            QImage const& image = host.convert(gFeed->frame(frame + i));
            tile.beginUpdate();
            tile.drawImage(tile.rect(), image, image.rect());
            tile.endUpdate();
        }
        ++frame;
    }
}

// Both walls must paint the same pixels, or the ratio compares different work.
bool samePixels()
{
    gEngine->updateTiles(3);
    gBare->updateTiles(3);
    for (int i = 0; i < kTiles; ++i) {
        if (gEngine->engine.QImagefromUniImage(gEngine->tiles[size_t(i)].get()) != gBare->tiles[size_t(i)]) {
            std::fprintf(stderr, "tile %d differs between the engine and the bare painter\n", i);
            return false;
        }
    }
    gShared->widget.mPaint = [] { gEngine->paintScreen(); };
    const QImage engineScreen = gShared->widget.grab().toImage();
    gShared->widget.mPaint = [] { gBare->paintScreen(); };
    const QImage bareScreen = gShared->widget.grab().toImage();
    if (engineScreen.isNull() || engineScreen != bareScreen) {
        std::fprintf(stderr, "the screen differs between the engine and the bare painter\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Shared shared;
    gShared = &shared;
    if (!shared.start())
        return 1;
    EngineWall engine;
    BareWall bare;
    gEngine = &engine;
    gBare = &bare;
    if (!samePixels())
        return 1;
    dbench::CameraFeed feed(kPicture, kPictures);
    gFeed = &feed;

    auto timed = [](benchmark::internal::Benchmark* b) {
        b->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
    };
    timed(benchmark::RegisterBenchmark("Engine_QtMultiviewFrame", Engine_QtMultiviewFrame));
    timed(benchmark::RegisterBenchmark("Bare_QtMultiviewFrame", Bare_QtMultiviewFrame));
    timed(benchmark::RegisterBenchmark("Engine_QtMultiviewTiles", Engine_QtMultiviewTiles));
    timed(benchmark::RegisterBenchmark("Bare_QtMultiviewTiles", Bare_QtMultiviewTiles)
              ->ArgName("start")
              ->Arg(BareWall::Keep)
              ->Arg(BareWall::Clear)
              ->Arg(BareWall::Replace));

    timed(benchmark::RegisterBenchmark("Engine_QtWallYuv", Engine_QtWallYuv));
    timed(benchmark::RegisterBenchmark("Engine_QtWallSwscaleImage", Engine_QtWallSwscaleImage));

    using dbench::Goal;
    const std::string suffix = "/min_time:3.000/real_time";
    dbench::pair("Engine_QtMultiviewFrame" + suffix, "Bare_QtMultiviewFrame" + suffix, Goal::AtMost, 1.10,
                 "qt multiview frame");
    dbench::pair("Engine_QtMultiviewTiles" + suffix, "Bare_QtMultiviewTiles/start:0" + suffix, Goal::AtMost, 1.10,
                 "qt multiview tiles only (off-screen)");
    dbench::pair("Engine_QtMultiviewTiles" + suffix, "Bare_QtMultiviewTiles/start:1" + suffix, Goal::AtMost, 1.10,
                 "qt multiview tiles, bare clears each tile");
    dbench::pair("Engine_QtMultiviewTiles" + suffix, "Bare_QtMultiviewTiles/start:2" + suffix, Goal::AtMost, 1.10,
                 "qt multiview tiles, bare replaces each tile");
    dbench::pair("Engine_QtWallYuv" + suffix, "Engine_QtWallSwscaleImage" + suffix, Goal::AtMost, 0.5,
                 "qt 16-camera I420 wall vs swscale+QImage");
    const int rc = dbench::runAndReport(argc, argv);
    gShared->widget.mPaint = nullptr;
    return rc;
}
