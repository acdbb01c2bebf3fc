// The Qt engine's drawing calls on a 1920 x 1080 off-screen image, each beside
// the same work done with a bare QPainter (or a plain loop) in the same run.

#include <benchfixtures.h>
#include <benchratio.h>

#include <dorurizar/qtengine.h>
#include <dorurizar/uniimg.h>

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstring>

namespace {

const QSize kScreen(1920, 1080);
const QRect kFill(100, 100, 1600, 800);

QImage picture()
{
    return dbench::picture(QSize(704, 576), QImage::Format_ARGB32);
}

// An engine with an open update on a 1920 x 1080 image.
struct EngineFixture {
    cQTEngine engine;
    cUniImg image{&engine};
    EngineFixture()
    {
        image.resize(kScreen);
        image.beginUpdate();
    }
    ~EngineFixture() { image.endUpdate(); }
};

struct BareFixture {
    QImage image{kScreen, QImage::Format_ARGB32};
    QPainter painter;
    BareFixture()
    {
        image.fill(0);
        painter.begin(&image);
    }
};

// Each pair below runs the engine's call and the bare one in turn (see
// dbench::Alternation): the two do the same work, so only that way does a
// spell of other work on the machine not decide the ratio.

void FillOpaque(benchmark::State& state)
{
    EngineFixture e;
    BareFixture b;
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([&] { e.image.fillRect(kFill, QColor(10, 20, 30)); });
        turns.baseline([&] {
            b.painter.setCompositionMode(QPainter::CompositionMode_Source);
            b.painter.fillRect(kFill, QColor(10, 20, 30));
            b.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        });
    }
}

void FillHalf(benchmark::State& state)
{
    EngineFixture e;
    BareFixture b;
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([&] { e.image.fillRect(kFill, QColor(10, 20, 30, 128)); });
        turns.baseline([&] {
            b.painter.setCompositionMode(QPainter::CompositionMode_Source);
            b.painter.fillRect(kFill, QColor(10, 20, 30, 128));
            b.painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        });
    }
}

void DrawRect(benchmark::State& state)
{
    EngineFixture e;
    BareFixture b;
    const QRect outline(kFill.left(), kFill.top(), kFill.width() - 1, kFill.height() - 1);
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([&] { e.image.drawRect(kFill, Qt::red); });
        turns.baseline([&] {
            b.painter.setPen(QPen(Qt::red));
            b.painter.setBrush(Qt::NoBrush);
            b.painter.drawRects(&outline, 1);
        });
    }
}

void DrawImage(benchmark::State& state)
{
    EngineFixture e;
    BareFixture b;
    const QImage src = picture();
    const QRect target = state.range(0) ? QRect(10, 10, 480, 270) : QRect(10, 10, 704, 576);
    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([&] { e.image.drawImage(target, src, src.rect()); });
        turns.baseline([&] { b.painter.drawImage(QRectF(target), src, QRectF(src.rect()), Qt::AutoColor); });
    }
}

void Engine_Gradient(benchmark::State& state)
{
    EngineFixture f;
    for (auto _ : state)
        f.image.drawGradient(f.image.rect(), QColor(20, 40, 120), QColor(120, 200, 255));
    state.SetItemsProcessed(state.iterations() * kScreen.width() * kScreen.height());
}

void Loop_Gradient(benchmark::State& state)
{
    QImage image(kScreen, QImage::Format_ARGB32);
    const QRgb c1 = QColor(20, 40, 120).rgba(), c2 = QColor(120, 200, 255).rgba();
    for (auto _ : state) {
        dbench::plainGradient(image.bits(), image.bytesPerLine(), image.width(), image.height(), c1, c2);
        benchmark::DoNotOptimize(image.bits());
    }
    state.SetItemsProcessed(state.iterations() * kScreen.width() * kScreen.height());
}

void Memset_Screen(benchmark::State& state)
{
    QImage image(kScreen, QImage::Format_ARGB32);
    int value = 0;
    for (auto _ : state) {
        std::memset(image.bits(), ++value & 0xff, size_t(image.sizeInBytes()));
        benchmark::DoNotOptimize(image.bits());
    }
    state.SetItemsProcessed(state.iterations() * kScreen.width() * kScreen.height());
}

BENCHMARK(FillOpaque);
BENCHMARK(FillHalf);
BENCHMARK(DrawRect);
BENCHMARK(DrawImage)->Arg(0)->Arg(1);
BENCHMARK(Engine_Gradient);
BENCHMARK(Loop_Gradient);
BENCHMARK(Memset_Screen);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    using dbench::Goal;
    dbench::pair("FillOpaque/engine", "FillOpaque/baseline", Goal::AtMost, 1.05, "qt fillRect opaque");
    dbench::pair("FillHalf/engine", "FillHalf/baseline", Goal::AtMost, 1.05, "qt fillRect half-transparent");
    dbench::pair("DrawRect/engine", "DrawRect/baseline", Goal::AtMost, 1.05, "qt drawRect");
    dbench::pair("DrawImage/0/engine", "DrawImage/0/baseline", Goal::AtMost, 1.05, "qt drawImage 704x576");
    dbench::pair("DrawImage/1/engine", "DrawImage/1/baseline", Goal::AtMost, 1.05, "qt drawImage to 480x270");
    dbench::pair("Engine_Gradient", "Loop_Gradient", Goal::AtLeast, 2.5, "qt gradient vs per-pixel loop");
    dbench::pair("Engine_Gradient", "Memset_Screen", Goal::AtLeast, 0.15, "qt gradient vs memset bandwidth");
    return dbench::runAndReport(argc, argv);
}
