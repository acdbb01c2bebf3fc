// The GL engine's multiview frame on a 1920 x 1080 GL widget beside a bare
// immediate-mode loop drawing the same quads with the same uploads, the CPU
// cost of recording one item, and the allocations of a steady frame. And a
// wall of I420 cameras drawn as YUV frames beside the usual way, libswscale
// to an ARGB32 picture first, in time and in bytes uploaded.

#define GL_GLEXT_PROTOTYPES 1

#include <allocationcount.h>
#include <benchfixtures.h>
#include <benchratio.h>
#include <camerafeed.h>

#include <dorurizar/glengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>
#include <dorurizar/uniyuvframe.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#if QT_VERSION_MAJOR >= 6
#include <QOpenGLWidget>
#else
#include <QGLWidget>
#endif

#include <GL/gl.h>
#include <GL/glext.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Qt 5 shows the frame by swapping the QGLWidget's buffers. Qt 6 draws into
// the QOpenGLWidget's frame buffer, which Qt composes on the next paint, and
// the engine leaves no context current after a frame.
#if QT_VERSION_MAJOR >= 6
using BenchGLWidget = QOpenGLWidget;
void beginBareFrame(QOpenGLWidget& w) { w.makeCurrent(); }
void presentBareFrame(QOpenGLWidget& w) { glFlush(), w.update(); }
#else
using BenchGLWidget = QGLWidget;
void beginBareFrame(QGLWidget&) {}
void presentBareFrame(QGLWidget& w) { w.swapBuffers(); }
#endif

const int kTiles = 16;
const QSize kTile(480, 270);
const QSize kPicture(704, 576);
const int kGlyphW = 10;
const int kGlyphH = 14;

QRect tileRect(int i)
{
    return QRect(QPoint((i % 4) * kTile.width(), (i / 4) * kTile.height()), kTile);
}

// Glyph boxes with a one-pixel border, written as a font cache so the engine
// draws labels from a real font map.
struct Atlas {
    QTemporaryDir dir;
    std::unique_ptr<cUniFontMap> font = dbench::syntheticFont(dir.path(), QSize(kGlyphW, kGlyphH), 1,
                                                                   dbench::Glyphs::Solid);
};

struct Wall {
    BenchGLWidget widget;
    cGLEngine engine;
    cUniScreen screen;
    std::vector<std::unique_ptr<cUniImg>> tiles;
    std::vector<QImage> pictures;
    std::vector<QString> labels;
    Atlas atlas;

    Wall()
    {
        widget.resize(1920, 1080);
        if (!dbench::showExposed(widget))
            std::fprintf(stderr, "the benchmark window was never exposed\n");
        engine.init(&widget);
        cUniImg::switchEngine(&engine);
        screen.setWidget(&widget);
        screen.resize(1920, 1080);
        for (int i = 0; i < kTiles; ++i) {
            tiles.emplace_back(new cUniImg);
            tiles.back()->resize(kTile);
            pictures.push_back(dbench::picture(kPicture, QImage::Format_ARGB32, i));
            labels.push_back(QStringLiteral("Camera %1 - gate %2 ok").arg(i, 2, 10, QChar('0')).arg(i).left(20));
        }
    }

    void recordTile(int i)
    {
        recordTile(i, [this](cUniImg& tile, int i) {
            tile.drawImage(tile.rect(), pictures[size_t(i)], pictures[size_t(i)].rect());
        });
    }

    // A tile whose picture draw(tile, i) draws.
    template <typename Draw>
    void recordTile(int i, Draw draw)
    {
        cUniImg& tile = *tiles[size_t(i)];
        tile.beginUpdate();
        draw(tile, i);
        tile.drawText(QRect(6, 6, 460, 20), 0, labels[size_t(i)], *atlas.font);
        tile.drawRect(tile.rect(), QColor(40, 200, 40));
        tile.endUpdate();
    }

    void frame()
    {
        frame([this](cUniImg& tile, int i) {
            tile.drawImage(tile.rect(), pictures[size_t(i)], pictures[size_t(i)].rect());
        });
    }

    template <typename Draw>
    void frame(Draw draw)
    {
        for (int i = 0; i < kTiles; ++i)
            recordTile(i, draw);
        screen.beginUpdate();
        for (int i = 0; i < kTiles; ++i)
            screen.drawImage(tileRect(i), *tiles[size_t(i)]);
        screen.endUpdate();
        beginBareFrame(widget);  // Qt 6: a context to finish in
        glFinish();
    }
};

Wall* gWall = nullptr;

// The same frame by hand: the same uploads into power-of-two textures, the
// same program for the pictures, the same glyph and outline quads.
struct BareWall {
    GLuint pictures[kTiles];
    GLuint atlas = 0;
    GLuint texel = 0;
    QSize atlasSize;

    BareWall()
    {
        glGenTextures(kTiles, pictures);
        for (GLuint t : pictures) {
            glBindTexture(GL_TEXTURE_2D, t);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1024, 1024, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        }
        const QImage& image = gWall->atlas.font->image();
        atlasSize = QSize(int(nSize(unsigned(image.width()))), int(nSize(unsigned(image.height()))));
        glGenTextures(1, &atlas);
        glBindTexture(GL_TEXTURE_2D, atlas);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, atlasSize.width(), atlasSize.height(), 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, nullptr);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width(), image.height(), GL_BGRA, GL_UNSIGNED_BYTE,
                        image.constBits());
        const QRgb green = qRgb(40, 200, 40);
        glGenTextures(1, &texel);
        glBindTexture(GL_TEXTURE_2D, texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &green);
    }

    static void quad(double s0, double t0, double s1, double t1, float x0, float y0, float x1, float y1)
    {
        glBegin(GL_QUADS);
        glTexCoord2d(s0, t0);
        glVertex2f(x0, y0);
        glTexCoord2d(s1, t0);
        glVertex2f(x1, y0);
        glTexCoord2d(s1, t1);
        glVertex2f(x1, y1);
        glTexCoord2d(s0, t1);
        glVertex2f(x0, y1);
        glEnd();
    }

    void frame()
    {
        beginBareFrame(gWall->widget);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);  // as the engine clears
        const GLint onePerHeight = glGetUniformLocation(gShaders.program, "one_per_height");
        for (int i = 0; i < kTiles; ++i) {
            const QRect r = tileRect(i);
            const QImage& p = gWall->pictures[size_t(i)];
            glBindTexture(GL_TEXTURE_2D, pictures[i]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, p.width(), p.height(), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                            p.constBits());
            glUseProgram(gShaders.program);
            glUniform1f(onePerHeight, 1.0f / 1024);
            quad(0, 0, 704.0 / 1024, 576.0 / 1024, r.left(), r.top(), r.right() + 1, r.bottom() + 1);
            glUseProgram(0);

            glBindTexture(GL_TEXTURE_2D, atlas);
            float x = r.left() + 6;
            for (int g = 0; g < 20; ++g) {
                QRect const& box = gWall->atlas.font->LetterRect(uchar('A' + g));
                const double s0 = double(box.left()) / atlasSize.width();
                const double t0 = double(box.top()) / atlasSize.height();
                quad(s0, t0, s0 + double(kGlyphW + 4) / atlasSize.width(),
                     t0 + double(kGlyphH + 3) / atlasSize.height(), x, r.top() + 6, x + kGlyphW + 4,
                     r.top() + 6 + kGlyphH + 3);
                x += kGlyphW + 1;
            }

            glBindTexture(GL_TEXTURE_2D, texel);
            quad(0, 0, 1, 1, r.left() + 1, r.top(), r.right(), r.top() + 1);
            quad(0, 0, 1, 1, r.left() + 1, r.bottom(), r.right(), r.bottom() + 1);
            quad(0, 0, 1, 1, r.left(), r.top(), r.left() + 1, r.bottom() + 1);
            quad(0, 0, 1, 1, r.right(), r.top(), r.right() + 1, r.bottom() + 1);
        }
        presentBareFrame(gWall->widget);
        glFinish();
    }
};

// The engine's frame and the bare one in turn, one of each per iteration,
// so that a spell of other work on the shared machine falls on both alike.
void MultiviewFrameAndBareLoop(benchmark::State& state)
{
    static BareWall bare;
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([] { gWall->frame(); });
        turns.baseline([] { bare.frame(); });
    }
}

// Recording only: 16 tiles of 25 items each and the screen's 16 children.
void recordItems()
{
    for (int i = 0; i < kTiles; ++i) {
        cUniImg& tile = *gWall->tiles[size_t(i)];
        tile.beginUpdate();
        tile.drawText(QRect(6, 6, 460, 20), 0, gWall->labels[size_t(i)], *gWall->atlas.font);
        tile.drawRect(tile.rect(), QColor(40, 200, 40));
        tile.fillRect(QRect(0, 250, 480, 20), QColor(0, 0, 0, 128));
        tile.endUpdate();
    }
}
const int kRecordedItems = kTiles * 25;

void Engine_RecordOnly(benchmark::State& state)
{
    for (auto _ : state)
        recordItems();
    state.SetItemsProcessed(state.iterations() * kRecordedItems);
}

// CPU nanoseconds of the calling thread per recorded item of a steady update
// (wall time would count the other processes sharing the machine).
double recordingCostPerItem()
{
    const int rounds = 2000;
    for (int r = 0; r < 10; ++r)
        recordItems();
    const double start = dbench::threadCpuNs();
    for (int r = 0; r < rounds; ++r)
        recordItems();
    return (dbench::threadCpuNs() - start) / (double(rounds) * kRecordedItems);
}

// The cameras' decoders give each tile a new frame every time (the feed
// holds one frame more than there are tiles, and tile i shows frame shown + i).
// The usual path converts to ARGB32 rather than the feed's RGB32 image: on
// this engine that is the faster of the two (about 10 ms a wall less).
struct Cameras {
    dbench::CameraFeed feed{kPicture, kTiles + 1};
    SwsContext* toArgb = sws_getContext(kPicture.width(), kPicture.height(), AV_PIX_FMT_YUV420P, kPicture.width(),
                                        kPicture.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    QImage argb{kPicture, QImage::Format_ARGB32};
    int shown = 0;

    ~Cameras() { sws_freeContext(toArgb); }

    cUniYuvFrame const& frame(int i) const { return feed.frame(shown + i); }

    void yuvFrame()
    {
        ++shown;
        gWall->frame([this](cUniImg& tile, int i) { tile.drawImage(tile.rect(), frame(i), frame(i).rect()); });
    }

    // What hosts do today: each frame converted to a full-size picture, then drawn scaled.
    void swscaleFrame()
    {
        ++shown;
        gWall->frame([this](cUniImg& tile, int i) {
            cUniYuvFrame const& f = frame(i);
            uchar* to[1] = {argb.bits()};
            const int toStride[1] = {int(argb.bytesPerLine())};
            sws_scale(toArgb, f.mPlanes, f.mStrides, 0, kPicture.height(), to, toStride);
            tile.drawImage(tile.rect(), argb, argb.rect());
        });
    }

    // Bytes uploaded per frame, once warmed up.
    template <typename Frame>
    double uploadsPerFrame(Frame frame)
    {
        for (int i = 0; i < 4; ++i)
            frame();
        const quint64 before = cGLEngine::mUploadedBytes;
        const int frames = 10;
        for (int i = 0; i < frames; ++i)
            frame();
        return double(cGLEngine::mUploadedBytes - before) / frames;
    }
};

Cameras* gCameras = nullptr;

void Engine_YuvWall(benchmark::State& state)
{
    for (auto _ : state)
        gCameras->yuvFrame();
}

void Usual_SwscaleWall(benchmark::State& state)
{
    for (auto _ : state)
        gCameras->swscaleFrame();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    gWall = new Wall;
    if (!gWall->atlas.font) {
        std::fprintf(stderr, "the benchmark font map did not load\n");
        return 1;
    }

    for (int i = 0; i < 5; ++i)
        gWall->frame();
    const int frames = 20;
    long before = dbench::allocations();
    for (int i = 0; i < frames; ++i)
        gWall->frame();
    const double perFrame = double(dbench::allocations() - before) / frames;

    before = dbench::allocations();
    for (int i = 0; i < frames; ++i) {
        for (int t = 0; t < kTiles; ++t)
            gWall->recordTile(t);
    }
    const double perRecording = double(dbench::allocations() - before) / frames;

    dbench::figure("gl allocations per steady frame", perFrame, "new calls", "0");
    dbench::figure("gl allocations per steady tile recording", perRecording, "new calls", "0");
    dbench::figure("gl recording cost per item", recordingCostPerItem(), "ns", "< 100");

    benchmark::RegisterBenchmark("MultiviewFrameAndBareLoop", MultiviewFrameAndBareLoop)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(6.0)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Engine_RecordOnly", Engine_RecordOnly)->Unit(benchmark::kMicrosecond);

    gCameras = new Cameras;
    const double yuvBytes = gCameras->uploadsPerFrame([] { gCameras->yuvFrame(); });
    const double usualBytes = gCameras->uploadsPerFrame([] { gCameras->swscaleFrame(); });
    // 16 cameras of 704 x 576 I420 on the 1920 x 1080 wall.
    dbench::figure("gl camera wall: yuv uploads per frame", yuvBytes, "bytes");
    dbench::figure("gl camera wall: swscale+picture uploads/frame", usualBytes, "bytes");
    dbench::figure("gl camera wall: yuv vs swscale+picture uploads", yuvBytes / usualBytes, "x", "<= 0.4");
    for (auto* b : {benchmark::RegisterBenchmark("Engine_YuvWall", Engine_YuvWall),
                    benchmark::RegisterBenchmark("Usual_SwscaleWall", Usual_SwscaleWall)})
        b->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
    dbench::pair("Engine_YuvWall/min_time:3.000/real_time", "Usual_SwscaleWall/min_time:3.000/real_time",
                 dbench::Goal::AtMost, 0.7, "gl camera wall: yuv frames vs swscale+picture");
    dbench::pair("MultiviewFrameAndBareLoop/min_time:6.000/real_time/engine",
                 "MultiviewFrameAndBareLoop/min_time:6.000/real_time/baseline", dbench::Goal::AtMost, 1.15,
                 "gl multiview frame vs bare immediate loop");
    const int rc = dbench::runAndReport(argc, argv);
    delete gCameras;
    delete gWall;
    return rc;
}
