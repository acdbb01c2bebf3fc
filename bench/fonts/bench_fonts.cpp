// Font maps: the first run (empty cache to a served handle, with the real
// generator), the generator's cost of the widest border, the first lookup of
// a full cache, the glyph accessors, and Qt engine text beside the same glyph
// copies made with a bare QPainter.
//
// The registry is process-wide and filled once, so the first run and the
// first lookup are measured in fresh child processes: the benchmark starts
// itself as a helper per iteration. The first run is timed from outside
// (process start to exit, so it includes the helper's own start-up); the
// lookup is timed inside the helper around the one constructor call.

#include <allocationcount.h>
#include <benchfixtures.h>
#include <benchratio.h>

#include <benchmark/benchmark.h>

#include <dorurizar/qtengine.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

const char kHelperVariable[] = "DORURIZAR_BENCH_FONTS_HELPER";
const char kRequest[] = "Tahoma_12_-1_2_ff303040_ff000000";

QTemporaryDir* gScratch = nullptr;
QString gWarmCache;

// Runs this program as a helper in a directory holding ./fontgen; returns its
// wall time in seconds, or -1 on failure. `output` receives its stdout.
double runHelper(char const* mode, QString const& cache, QByteArray* output = nullptr)
{
    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kHelperVariable), QString::fromLatin1(mode));
    env.insert(QStringLiteral("DORURIZAR_FONTMAP_CACHE"), cache);
    helper.setProcessEnvironment(env);
    helper.setWorkingDirectory(gScratch->path());
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    helper.start(QCoreApplication::applicationFilePath(), QStringList());
    if (!helper.waitForFinished(120000) || helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0)
        return -1;
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (output)
        *output = helper.readAllStandardOutput();
    return seconds;
}

qint64 processCpuNs(int who)
{
    rusage u{};
    getrusage(who, &u);
    return (qint64(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000000000
        + (qint64(u.ru_utime.tv_usec) + u.ru_stime.tv_usec) * 1000;
}

// Prints: constructor wall ns, constructor CPU ns, CPU ns of the helper and its generators.
int runAsHelper(QByteArray const& mode)
{
    QElapsedTimer clock;
    clock.start();
    const double cpu = dbench::threadCpuNs();
    cUniFontMap font{cFontInfo(kRequest)};
    const qint64 ns = clock.nsecsElapsed();
    const qint64 cpuNs = qint64(dbench::threadCpuNs() - cpu);
    if (!font.mNode)
        return 1;
    if (mode == "lookup" && cUniFontMap::node::mNodes.size() != 12)
        return 2;
    std::printf("%lld %lld %lld\n", static_cast<long long>(ns), static_cast<long long>(cpuNs),
                static_cast<long long>(processCpuNs(RUSAGE_SELF) + processCpuNs(RUSAGE_CHILDREN)));
    return 0;
}

QList<QByteArray> fields(QByteArray const& out)
{
    return out.trimmed().split(' ');
}

int gCacheSerial = 0;

void BM_FirstRunWithRealGenerator(benchmark::State& state)
{
    double total = 0, cpu = 0;
    for (auto _ : state) {
        const QString cache = gScratch->path() + QStringLiteral("/first%1").arg(++gCacheSerial);
        QByteArray out;
        const double seconds = runHelper("firstrun", cache, &out);
        if (seconds < 0 || fields(out).size() != 3) {
            state.SkipWithError("the first-run helper failed");
            return;
        }
        total += seconds;
        cpu += fields(out)[2].toLongLong() / 1e9;
        state.SetIterationTime(seconds);
    }
    dbench::figure("first run, 12 atlases generated (wall)", 1000 * total / state.iterations(), "ms", "< 2000");
    dbench::figure("first run, CPU of host and 12 generators", 1000 * cpu / state.iterations(), "ms");
}

// The generator alone on one large font, with the widest border and with none:
// what growing the border costs. Timed by the generator's CPU time, which the
// disk and other processes disturb less than its wall time.
// The generator's CPU for a size-100 font with border 32, and without a
// border, run in turn.
void BM_GeneratorSize100Border(benchmark::State& state)
{
    const auto cpuOf = [](int border) {
        QTemporaryDir out;
        QProcess generator;
        const qint64 cpu = processCpuNs(RUSAGE_CHILDREN);
        generator.start(QStringLiteral(DORURIZAR_FONTGEN_PATH),
                        {QStringLiteral("Tahoma_100_-1_%1_ff303040_ff000000").arg(border), out.path()});
        const bool ok = generator.waitForFinished(120000) && generator.exitStatus() == QProcess::NormalExit
            && generator.exitCode() == 0;
        return ok ? double(processCpuNs(RUSAGE_CHILDREN) - cpu) : -1.0;
    };
    dbench::Alternation turns(state);
    for (auto _ : state) {
        const double bordered = cpuOf(32), plain = cpuOf(0);
        if (bordered < 0 || plain < 0) {
            state.SkipWithError("the generator failed");
            return;
        }
        turns.addEngine(bordered);
        turns.addBaseline(plain);
        state.SetIterationTime((bordered + plain) / 1e9);
    }
}

// The fixed cost inside the first-run figure: the same helper started on a full cache.
void BM_HelperStartOnFullCache(benchmark::State& state)
{
    for (auto _ : state) {
        const double seconds = runHelper("lookup", gWarmCache);
        if (seconds < 0) {
            state.SkipWithError("the helper failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_FirstLookupOf12CachedAtlases(benchmark::State& state)
{
    double total = 0, cpu = 0;
    for (auto _ : state) {
        QByteArray out;
        if (runHelper("lookup", gWarmCache, &out) < 0 || fields(out).size() != 3) {
            state.SkipWithError("the lookup helper failed");
            return;
        }
        const double seconds = fields(out)[0].toLongLong() / 1e9;
        total += seconds;
        cpu += fields(out)[1].toLongLong() / 1e9;
        state.SetIterationTime(seconds);
    }
    dbench::figure("first lookup, 12 cached atlases (wall)", 1000 * total / state.iterations(), "ms", "< 50");
    dbench::figure("first lookup, 12 cached atlases (CPU)", 1000 * cpu / state.iterations(), "ms");
}

cUniFontMap* gFont = nullptr;

void BM_GlyphAccessors(benchmark::State& state)
{
    const long before = dbench::allocations();
    long sum = 0;
    for (auto _ : state) {
        for (int b = 0; b < 256; ++b) {
            QRect const& r = gFont->LetterRect(uchar(b));
            sum += r.width() + gFont->border();
            benchmark::DoNotOptimize(&gFont->image());
        }
        benchmark::DoNotOptimize(sum);
    }
    dbench::figure("allocations in LetterRect/image/border", double(dbench::allocations() - before), "", "0");
}

const QString kLabel = QStringLiteral("Camera 12 / Entrance");  // 20 characters
const QRect kTextRect(10, 10, 300, 40);

// The engine's centred label, and the same glyph copies made directly (the
// rectangles precomputed, one drawImage each), in turn.
void BM_Text20(benchmark::State& state)
{
    cQTEngine engine;
    cUniImg img(&engine);
    img.resize(704, 576);
    img.beginUpdate();

    QImage target(704, 576, QImage::Format_ARGB32);
    target.fill(0);
    QImage const& atlas = gFont->image();
    // Where the engine puts the centred label, so both copy to the same pixels.
    QVector<QRectF> sources, targets;
    for (dbench::GlyphCopy const& g : dbench::labelGlyphs(*gFont, kLabel, kTextRect, true, 3 * gFont->border(), 0)) {
        sources << g.from;
        targets << g.to;
    }
    QPainter p(&target);

    dbench::Alternation turns(state);
    for (auto _ : state) {
        turns.engine([&] { img.drawText(kTextRect, Qt::AlignCenter, kLabel, *gFont); });
        turns.baseline([&] {
            for (int i = 0; i < sources.size(); ++i)
                p.drawImage(targets[i], atlas, sources[i], Qt::AutoColor);
        });
    }
    img.endUpdate();
}

} // namespace

BENCHMARK(BM_FirstRunWithRealGenerator)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratorSize100Border)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HelperStartOnFullCache)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstLookupOf12CachedAtlases)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlyphAccessors)->Iterations(200000);
BENCHMARK(BM_Text20);

int main(int argc, char** argv)
{
    const QByteArray helperMode = qgetenv(kHelperVariable);
    QApplication app(argc, argv);
    if (!helperMode.isEmpty())
        return runAsHelper(helperMode);

    QTemporaryDir scratch;
    gScratch = &scratch;
    if (!QFile::link(QStringLiteral(DORURIZAR_FONTGEN_PATH), scratch.path() + QStringLiteral("/fontgen"))) {
        std::fprintf(stderr, "can't link the generator into %s\n", qPrintable(scratch.path()));
        return 1;
    }
    gWarmCache = scratch.path() + QStringLiteral("/warm");
    if (runHelper("firstrun", gWarmCache) < 0) {
        std::fprintf(stderr, "the generator did not fill %s\n", qPrintable(gWarmCache));
        return 1;
    }
    cFontInfo::makeCacheBasePath(gWarmCache);
    cUniFontMap font{cFontInfo(kRequest)};
    gFont = &font;

    // Border 32 widens every cell's clear gap to 129 pixels: its atlas has 6.6 times the pixels. A border
    // grown in time linear in the atlas keeps the ratio below that; blitting it took some 100 times as long.
    dbench::pair("BM_GeneratorSize100Border/iterations:3/manual_time/engine",
                 "BM_GeneratorSize100Border/iterations:3/manual_time/baseline", dbench::Goal::AtMost, 6.0,
                 "fontgen CPU, size 100: border 32 / none");
    dbench::pair("BM_Text20/engine", "BM_Text20/baseline", dbench::Goal::AtMost, 1.1,
                 "Qt text, 20 chars / bare QPainter");
    return dbench::runAndReport(argc, argv);
}
