// The multiview host on every engine: what its screenshot shows, what its
// contact sheet holds, and how it refuses what it cannot do. Every run of the
// host is a child process with a time limit.

#include <atlasfile.h>
#include <testsupport.h>

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const QSize kWindow(960, 600);
const int kStatusHeight = 28;
const int kLabelHeight = 20;

// The atlases the host asks for, with glyphs in colours no camera shows.
const char kLabelAtlas[] = "System_10_75_1_ffffffff_ff000000";
const char kStatusAtlas[] = "Tahoma_12_-1_2_ff303040_ff000000";
const QRgb kLabelInk = qRgb(255, 0, 255);
const QRgb kStatusInk = qRgb(0, 255, 255);

int glyphWidth(int byte)
{
    return byte == ' ' ? 3 : 5;
}

struct HostRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

HostRun runHost(QStringList const& args, QString const& workDir = QString(),
                QProcessEnvironment const& env = QProcessEnvironment::systemEnvironment(), int timeoutMs = 180000)
{
    HostRun run;
    QProcess host;
    host.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        host.setWorkingDirectory(workDir);
    host.start(QStringLiteral(MULTIVIEW_PATH), args);
    if (!host.waitForStarted(10000))
        return run;
    if (!host.waitForFinished(timeoutMs)) {
        host.kill();
        host.waitForFinished(5000);
        return run;
    }
    run.finished = host.exitStatus() == QProcess::NormalExit;
    run.exitCode = host.exitCode();
    run.out = QString::fromLocal8Bit(host.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(host.readAllStandardError());
    return run;
}

QString describe(HostRun const& r)
{
    return QStringLiteral("finished %1, exit %2\nstdout: %3\nstderr: %4")
        .arg(r.finished)
        .arg(r.exitCode)
        .arg(r.out, r.err);
}

bool near(QRgb p, QRgb ink)
{
    // Engines may blend a glyph with a translucent strip below it, which
    // darkens it but keeps its hue; no camera colour is that pure.
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    const int peak = std::max({r, g, b});
    if (peak < 96)
        return false;
    const int tolerance = 16;
    return std::abs(r * 255 / peak - qRed(ink)) < tolerance && std::abs(g * 255 / peak - qGreen(ink)) < tolerance
        && std::abs(b * 255 / peak - qBlue(ink)) < tolerance;
}

int countNear(QImage const& image, QRect const& area, QRgb ink)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            n += near(image.pixel(x, y), ink);
    }
    return n;
}

double litShare(QImage const& image, QRect const& area)
{
    int lit = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            lit += (image.pixel(x, y) & 0xffffff) != 0;
    }
    return r.isEmpty() ? 0.0 : double(lit) / double(r.width() * r.height());
}

// The cell of tile i on a wall of `tiles` tiles, as the host lays it out.
QRect cell(int tiles, int i)
{
    const int columns = int(std::ceil(std::sqrt(double(tiles))));
    const int rows = (tiles + columns - 1) / columns;
    const int w = kWindow.width() / columns;
    const int h = (kWindow.height() - kStatusHeight) / rows;
    return QRect((i % columns) * w + 1, (i / columns) * h + 1, w - 2, h - 2);
}

QStringList builtEngines()
{
    QStringList engines{QStringLiteral("qt")};
#ifdef DORURIZAR_HAS_GL
    engines << QStringLiteral("gl");
#endif
#ifdef DORURIZAR_HAS_SDL
    engines << QStringLiteral("sdl");
#endif
    return engines;
}

// An X server of its own, for displays the test's server is not.
class PrivateDisplay
{
public:
    explicit PrivateDisplay(QStringList const& args)
    {
        mServer.setProcessChannelMode(QProcess::SeparateChannels);
        mServer.start(QStringLiteral("Xvfb"), QStringList{QStringLiteral("-displayfd"), QStringLiteral("1")} + args);
        if (!mServer.waitForStarted(5000))
            return;
        for (int i = 0; i < 100 && !mServer.canReadLine(); ++i)
            mServer.waitForReadyRead(100);
        const QByteArray line = mServer.readLine().trimmed();
        if (!line.isEmpty())
            mDisplay = QStringLiteral(":") + QString::fromLatin1(line);
    }
    ~PrivateDisplay()
    {
        mServer.terminate();
        if (!mServer.waitForFinished(5000))
            mServer.kill();
        mServer.waitForFinished(2000);
    }
    QString display() const { return mDisplay; }

private:
    QProcess mServer;
    QString mDisplay;
};

} // namespace

class tst_Multiview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void screenshotShowsTheWall_data();
    void screenshotShowsTheWall();
    void contactSheetHoldsEveryEngineAndTheirDifferences();
    void badArgumentsAreRefused_data();
    void badArgumentsAreRefused();
    void unwritableScreenshotFails();
    void emptyCacheWithoutGeneratorIsRefused();
    void sdlOnADisplayThatIsNot32BitIsRefused();

private:
    QTemporaryDir mDir;
    QString mCache;
};

void tst_Multiview::initTestCase()
{
    QVERIFY(mDir.isValid());
    mCache = mDir.filePath(QStringLiteral("cache"));
    const atlasfile::Synthetic label = atlasfile::makeSynthetic(glyphWidth, 10, 1, kLabelInk, qRgb(0, 0, 0));
    const atlasfile::Synthetic status = atlasfile::makeSynthetic(glyphWidth, 12, 2, kStatusInk, qRgb(0, 0, 0));
    QVERIFY(atlasfile::writeAtlas(mCache, QString::fromLatin1(kLabelAtlas), label.image, label.boxes));
    QVERIFY(atlasfile::writeAtlas(mCache, QString::fromLatin1(kStatusAtlas), status.image, status.boxes));
}

void tst_Multiview::screenshotShowsTheWall_data()
{
    QTest::addColumn<QString>("engine");
    for (QString const& e : builtEngines())
        QTest::newRow(qPrintable(e)) << e;
}

void tst_Multiview::screenshotShowsTheWall()
{
    QFETCH(QString, engine);
    const int tiles = 4;
    const QString shot = mDir.filePath(engine + QStringLiteral("-wall.png"));
    const HostRun run = runHost({QStringLiteral("--engine"), engine, QStringLiteral("--tiles"), QString::number(tiles),
                                 QStringLiteral("--frames"), QStringLiteral("5"), QStringLiteral("--screenshot"), shot,
                                 QStringLiteral("--cache"), mCache, QStringLiteral("--stats")});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));

    const QImage image(shot);
    QCOMPARE(image.size(), kWindow);
    for (int i = 0; i < tiles; ++i) {
        const QRect c = cell(tiles, i);
        const QRect picture = c.adjusted(c.width() / 4, c.height() / 4, -c.width() / 4, -c.height() / 4);
        QVERIFY2(litShare(image, picture) > 0.95, qPrintable(QStringLiteral("tile %1 is dark").arg(i)));
        const QRect label(c.left(), c.bottom() - kLabelHeight, c.width() / 2, kLabelHeight);
        QVERIFY2(countNear(image, label, kLabelInk) >= 30,
                 qPrintable(QStringLiteral("tile %1 shows no label glyphs").arg(i)));
    }
    // The screen is cleared black between the tiles.
    QCOMPARE(image.pixel(kWindow.width() / 2, cell(tiles, 0).center().y()) & 0xffffff, 0u);
    const QRect status(0, kWindow.height() - kStatusHeight, kWindow.width() / 2, kStatusHeight);
    QVERIFY2(countNear(image, status, kStatusInk) >= 30, "the status line shows no glyphs");

    const QRegularExpression stats(QStringLiteral("STATS engine=%1 tiles=4 frames=5 .*peak_kb=(\\d+)").arg(engine));
    const QRegularExpressionMatch m = stats.match(run.out);
    QVERIFY2(m.hasMatch(), qPrintable(run.out));
    QVERIFY(m.captured(1).toLong() > 0);
}

void tst_Multiview::contactSheetHoldsEveryEngineAndTheirDifferences()
{
    const QString sheet = mDir.filePath(QStringLiteral("sheet.png"));
    const HostRun run = runHost({QStringLiteral("--compare"), sheet, QStringLiteral("--tiles"), QStringLiteral("4"),
                                 QStringLiteral("--cache"), mCache});
    const bool allBuilt = builtEngines().size() == 3;
    if (allBuilt)
        QVERIFY2(run.finished && run.exitCode == 0, qPrintable(describe(run)));
    else
        QVERIFY2(run.finished && run.exitCode == 1 && run.err.contains(QStringLiteral("not built")),
                 qPrintable(describe(run)));

    const QImage image(sheet);
    QVERIFY(!image.isNull());
    const int margin = 10;
    const int caption = 30;
    QCOMPARE(image.size(), QSize(margin + 3 * (kWindow.width() + margin),
                                 margin + 2 * (caption + kWindow.height() + margin)));

    // The top row holds the frames: each engine's wall where it was built.
    const QStringList engines{QStringLiteral("qt"), QStringLiteral("gl"), QStringLiteral("sdl")};
    for (int i = 0; i < engines.size(); ++i) {
        if (!builtEngines().contains(engines[i]))
            continue;
        const QPoint origin(margin + i * (kWindow.width() + margin), margin + caption);
        const QRect c = cell(4, 0).translated(origin);
        QVERIFY2(litShare(image, c.adjusted(40, 40, -40, -40)) > 0.95, qPrintable(engines[i]));
        QVERIFY2(countNear(image, QRect(c.left(), c.bottom() - kLabelHeight, c.width() / 2, kLabelHeight), kLabelInk) > 0,
                 qPrintable(engines[i]));
    }

    const QRegularExpression line(QStringLiteral("^(\\w+) vs (\\w+): (\\d+) pixels differ"),
                                  QRegularExpression::MultilineOption);
    int pairs = 0;
    for (auto it = line.globalMatch(run.out); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const qint64 differing = m.captured(3).toLongLong();
        // The status line names the engine, so no two frames are identical,
        // yet the walls agree far more than they differ.
        QVERIFY2(differing > 0 && differing < qint64(kWindow.width()) * kWindow.height(), qPrintable(m.captured(0)));
        ++pairs;
    }
    QCOMPARE(pairs, allBuilt ? 3 : int(builtEngines().size() * (builtEngines().size() - 1) / 2));
}

void tst_Multiview::badArgumentsAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no tiles") << QStringList{"--tiles", "0"} << "--tiles";
    QTest::newRow("too many tiles") << QStringList{"--tiles", "65"} << "--tiles";
    QTest::newRow("tiles not a number") << QStringList{"--tiles", "four"} << "--tiles";
    QTest::newRow("tiles without value") << QStringList{"--tiles"} << "tiles";
    QTest::newRow("negative frames") << QStringList{"--frames", "-3"} << "--frames";
    QTest::newRow("zero frames") << QStringList{"--frames", "0"} << "--frames";
    QTest::newRow("unknown engine") << QStringList{"--engine", "vulkan"} << "unknown engine 'vulkan'";
    QTest::newRow("unknown option") << QStringList{"--fast"} << "fast";
    QTest::newRow("stray argument") << QStringList{"wall.png"} << "unexpected argument";
    QTest::newRow("empty screenshot path") << QStringList{"--screenshot", ""} << "--screenshot";
    QTest::newRow("compare with engine") << QStringList{"--compare", "s.png", "--engine", "qt"} << "--compare";
}

void tst_Multiview::badArgumentsAreRefused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const HostRun run = runHost(args, QString(), QProcessEnvironment::systemEnvironment(), 20000);
    QVERIFY2(run.finished, qPrintable(describe(run)));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(QStringLiteral("multiview: ")) && run.err.contains(message), qPrintable(run.err));
}

void tst_Multiview::unwritableScreenshotFails()
{
    const HostRun run = runHost({QStringLiteral("--frames"), QStringLiteral("2"), QStringLiteral("--tiles"),
                                 QStringLiteral("1"), QStringLiteral("--screenshot"),
                                 mDir.filePath(QStringLiteral("no/such/dir/shot.png")), QStringLiteral("--cache"), mCache});
    QVERIFY2(run.finished && run.exitCode == 1, qPrintable(describe(run)));
    QVERIFY2(run.err.contains(QStringLiteral("cannot write the screenshot")), qPrintable(run.err));
}

// With no atlas and no generator the library could only stop the process;
// the host says what is missing instead.
void tst_Multiview::emptyCacheWithoutGeneratorIsRefused()
{
    QTemporaryDir elsewhere;
    const HostRun run = runHost({QStringLiteral("--frames"), QStringLiteral("1"), QStringLiteral("--cache"),
                                 elsewhere.filePath(QStringLiteral("empty"))},
                                elsewhere.path());
    QVERIFY2(run.finished && run.exitCode == 1, qPrintable(describe(run)));
    QVERIFY2(run.err.contains(QStringLiteral("holds no atlases")) && run.err.contains(QStringLiteral("fontgen")),
             qPrintable(run.err));
}

void tst_Multiview::sdlOnADisplayThatIsNot32BitIsRefused()
{
#ifndef DORURIZAR_HAS_SDL
    QSKIP("the SDL engine is not built");
#else
    PrivateDisplay display({QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x16")});
    if (display.display().isEmpty())
        QSKIP("no Xvfb to start a 16-bit display with");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.display());
    const HostRun run = runHost({QStringLiteral("--engine"), QStringLiteral("sdl"), QStringLiteral("--frames"),
                                 QStringLiteral("2"), QStringLiteral("--tiles"), QStringLiteral("1"),
                                 QStringLiteral("--cache"), mCache},
                                QString(), env, 60000);
    QVERIFY2(run.finished && run.exitCode == 1, qPrintable(describe(run)));
    QVERIFY2(run.err.contains(QStringLiteral("the sdl engine cannot start")) && run.err.contains(QStringLiteral("32 bits")),
             qPrintable(run.err));
#endif
}

DTEST_MAIN(tst_Multiview)
#include "tst_multiview.moc"
