// The soak: each engine draws the 16-tile wall for thousands of frames while
// image handles are made, resized and destroyed, font maps are given back
// and taken anew, the selection moves and the screen changes windows.
// Resident memory, the heap in use, open descriptors and live GL texture
// names are sampled every 50 frames from the end of the warm-up on; a
// descriptor or a texture more at the end is a leak, and so is memory that
// keeps growing.
//
//   soak                               every engine, one process each, 10,000 frames
//   soak --engine gl --frames 300 --check   one engine; exits 1 on a leak
//   soak --report_rows=PREFIX          also writes the report's rows to PREFIX.soak
//
// Needs an X display of at least 1280 x 1024 (two windows, 960 x 600 and 800 x 500).

#include "soakhost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <malloc.h>

namespace {

const long kFlatKb = 1024;   // allocator noise stays within a MiB
const long kGrossKb = 16384; // what a short run may grow before it fails --check
const int kSampleEvery = soak::kCycle;  // the wall's churn repeats within this

// The report's columns; scripts/bench.sh prints the same header.
const char kHeader[] = "%-8s %7s %9s %13s %12s %11s %16s %4s %9s  %s\n";
const char kRow[] = "%-8s %7d %9.2f %13ld %12ld %11ld %16ld %+4ld %9s  %s\n";

struct Options {
    QString engine;  // empty: every engine, each in a child process
    int frames = 10000;
    int warmUp = 0;  // 0: worked out from frames
    bool check = false;
    bool trace = false;  // a sample on stderr every kSampleEvery frames
    QString rowsPrefix;
    QString error;
};

Options parse(QStringList args)
{
    Options o;
    args.removeFirst();
    while (!args.isEmpty() && o.error.isEmpty()) {
        const QString arg = args.takeFirst();
        bool ok = true;
        if (arg == QLatin1String("--engine") && !args.isEmpty())
            o.engine = args.takeFirst();
        else if (arg == QLatin1String("--frames") && !args.isEmpty())
            o.frames = args.takeFirst().toInt(&ok);
        else if (arg == QLatin1String("--warmup") && !args.isEmpty())
            o.warmUp = args.takeFirst().toInt(&ok);
        else if (arg == QLatin1String("--check"))
            o.check = true;
        else if (arg == QLatin1String("--trace"))
            o.trace = true;
        else if (arg.startsWith(QLatin1String("--report_rows=")))
            o.rowsPrefix = arg.mid(14);
        else
            o.error = QStringLiteral("unknown argument '%1'").arg(arg);
        if (!ok)
            o.error = QStringLiteral("%1 takes a number").arg(arg);
    }
    // The samples are taken at multiples of kSampleEvery frames, where the
    // wall is always in the same state.
    if (o.warmUp == 0)
        o.warmUp = o.frames >= 2000 ? 1000 : std::max(kSampleEvery, o.frames / 3 / kSampleEvery * kSampleEvery);
    if (o.error.isEmpty() && (o.warmUp < kSampleEvery || o.warmUp % kSampleEvery != 0 || o.frames < o.warmUp + kSampleEvery))
        o.error = QStringLiteral("the warm-up must be a multiple of %1 frames, and the run at least %1 frames longer")
                      .arg(kSampleEvery);
    if (o.error.isEmpty() && !o.engine.isEmpty() && !soak::SoakHost::engines().contains(o.engine))
        o.error = QStringLiteral("no engine '%1' in this build (%2)")
                      .arg(o.engine, soak::SoakHost::engines().join(QLatin1String(", ")));
    return o;
}

struct Sample {
    long rssKb = -1;
    long anonKb = -1;  // the resident set less mapped files (libraries' code pages)
    long heapKb = -1;  // what malloc has handed out and not had back
    long mallocKb = -1;  // what malloc holds from the system, free chunks included
    long fds = -1;
    long textures = -1;
};

Sample sample(soak::SoakHost& host)
{
    Sample s;
#ifdef __GLIBC__
    // Memory malloc merely keeps free is given back first: how much it keeps
    // swings by megabytes with the order blocks come and go, and is no leak.
    malloc_trim(0);
#endif
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray const& line : status.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields[0] == "VmRSS:")
                s.rssKb = fields.value(1).toLong();
            else if (fields[0] == "RssAnon:")
                s.anonKb = fields.value(1).toLong();
        }
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    const struct mallinfo2 heap = mallinfo2();
    s.heapKb = long((heap.uordblks + heap.hblkhd) / 1024);
    s.mallocKb = long((heap.arena + heap.hblkhd) / 1024);
#endif
    s.fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                .size();
    s.textures = host.liveTextures();
    return s;
}

// Sanitizers keep freed memory in quarantine: resident memory says nothing there.
bool residentMemoryMeans()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    return true;
}

// The median of one field over `count` samples from `first`: the allocator
// keeps or returns freed blocks from one sample to the next, which moves the
// resident set by megabytes either way; a leak moves the median.
long median(std::vector<Sample> const& samples, size_t first, size_t count, long Sample::*field)
{
    std::vector<long> values;
    for (size_t i = first; i < first + count; ++i)
        values.push_back(samples[i].*field);
    std::nth_element(values.begin(), values.begin() + long(count / 2), values.end());
    return values[count / 2];
}

// Runs one engine in this process; prints its row and, with --check, exits 1
// on a leak.
int runEngine(Options const& o, int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // the GL host's two windows
    QApplication app(argc, argv);
    QTemporaryDir fonts;
    if (!fonts.isValid() || !soak::writeFonts(fonts.path())) {
        std::fprintf(stderr, "soak: cannot write the font cache\n");
        return 1;
    }
    std::unique_ptr<soak::SoakHost> host = soak::SoakHost::create(o.engine);
    if (!host->start()) {
        std::fprintf(stderr, "soak: the %s engine cannot start: %s\n", qPrintable(o.engine),
                     qPrintable(host->failure()));
        return 1;
    }

    // A sample every kSampleEvery frames from the end of the warm-up on.
    std::vector<Sample> samples;
    QElapsedTimer clock;
    qint64 warmNs = 0;
    std::function<void(int)> next = [&](int n) {
        if (n > 0 && n % soak::kSwapEvery == 0)
            host->swapWidget();
        host->requestFrame(n);
    };
    host->onFrameDone([&](int n) {
        const int drawn = n + 1;
        if (drawn % kSampleEvery == 0 && (drawn >= o.warmUp || o.trace)) {
            const Sample s = sample(*host);
            if (drawn >= o.warmUp)
                samples.push_back(s);
            if (o.trace)
                std::fprintf(stderr, "frame %d rss %ld anon %ld heap %ld malloc %ld fds %ld textures %ld\n", drawn,
                             s.rssKb, s.anonKb, s.heapKb, s.mallocKb, s.fds, s.textures);
        }
        if (drawn == o.warmUp)
            warmNs = clock.nsecsElapsed();
        if (drawn == o.frames)
            QTimer::singleShot(0, &app, &QApplication::quit);
        else
            QTimer::singleShot(0, &app, [&next, drawn] { next(drawn); });
    });
    clock.start();
    QTimer::singleShot(0, &app, [&next] { next(0); });
    app.exec();
    const double frameMs = (clock.nsecsElapsed() - warmNs) / 1e6 / (o.frames - o.warmUp);
    host.reset();

    // Memory compares the first and last tenth of the samples; descriptors and
    // textures, counted exactly, the first and last sample.
    const size_t window = std::max<size_t>(1, samples.size() / 10);
    const size_t last = samples.size() - window;
    const long warmKb = median(samples, 0, window, &Sample::rssKb);
    const long endKb = median(samples, last, window, &Sample::rssKb);
    const long growth = endKb - warmKb;
    const long heapGrowth = median(samples, last, window, &Sample::heapKb) - median(samples, 0, window, &Sample::heapKb);
    const long fdGrowth = samples.back().fds - samples.front().fds;
    const long textureGrowth = samples.back().textures - samples.front().textures;
    QStringList faults;
    if (growth >= kFlatKb)
        faults << QStringLiteral("GROWS +%1 KiB").arg(growth);
    if (fdGrowth > 0)
        faults << QStringLiteral("LEAKS %1 fds").arg(fdGrowth);
    if (textureGrowth > 0)
        faults << QStringLiteral("LEAKS %1 textures").arg(textureGrowth);
    const QByteArray textures = samples.front().textures < 0 ? "-" : QByteArray::number(qlonglong(textureGrowth));
    const QByteArray verdict = faults.isEmpty() ? "flat" : faults.join(QLatin1String(", ")).toUtf8();
    std::printf("SOAK ");
    std::printf(kRow, qPrintable(o.engine), o.frames, frameMs, warmKb, endKb, growth, heapGrowth, fdGrowth,
                textures.constData(), verdict.constData());
    std::fflush(stdout);

    const bool gross = residentMemoryMeans() && growth > kGrossKb;
    if (o.check && (gross || fdGrowth > 0 || textureGrowth > 0)) {
        std::fprintf(stderr, "soak: the %s engine leaks over %d frames after warm-up: %s\n", qPrintable(o.engine),
                     o.frames - o.warmUp, verdict.constData());
        return 1;
    }
    return 0;
}

// Runs every engine in a child process of its own and prints the table.
int runAll(Options const& o, int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QByteArray rows;
    int status = 0;
    for (QString const& engine : soak::SoakHost::engines()) {
        std::fprintf(stderr, "soak: %s, %d frames ...\n", qPrintable(engine), o.frames);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--engine"), engine, QStringLiteral("--frames"), QString::number(o.frames),
                     QStringLiteral("--warmup"), QString::number(o.warmUp)});
        // A frame takes well under a second even on a loaded machine.
        const bool ended = child.waitForFinished(o.frames * 1000 + 120000);
        child.kill();
        child.waitForFinished(5000);
        QByteArray row;
        for (QByteArray const& line : child.readAllStandardOutput().split('\n'))
            if (line.startsWith("SOAK "))
                row = line.mid(5) + '\n';
        if (!ended || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || row.isEmpty()) {
            row = QStringLiteral("%1 FAILED (%2)\n")
                      .arg(engine, -8)
                      .arg(ended ? QStringLiteral("exit %1").arg(child.exitCode()) : QStringLiteral("timed out"))
                      .toUtf8();
            status = 1;
        }
        rows += row;
    }
    std::printf(kHeader, "engine", "frames", "frame ms", "RSS warm KiB", "RSS end KiB", "growth KiB",
                "heap growth KiB", "fds", "textures", "verdict");
    std::printf("%s", rows.constData());
    if (!o.rowsPrefix.isEmpty()) {
        QFile file(o.rowsPrefix + QStringLiteral(".soak"));
        if (!file.open(QIODevice::WriteOnly) || file.write(rows) != rows.size()) {
            std::fprintf(stderr, "soak: can't write %s\n", qPrintable(file.fileName()));
            status = 1;
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const Options options = parse(args);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(options.error));
        return 2;
    }
    return options.engine.isEmpty() ? runAll(options, argc, argv) : runEngine(options, argc, argv);
}
