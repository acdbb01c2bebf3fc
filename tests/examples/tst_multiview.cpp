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
    bool finished = false;  // ended by itself, within the time limit
    int exitCode = -1;
    QString out, err;

    QByteArray why() const
    {
        return QStringLiteral("finished %1, exit %2\nstdout: %3\nstderr: %4").arg(finished).arg(exitCode).arg(out, err)
            .toLocal8Bit();
    }
};

// Every run of the host: its own process, a time limit, in workDir when given,
// started through the launcher command when given.
HostRun runHost(QStringList const& args, QString const& workDir = QString(), QStringList const& launcher = {})
{
    HostRun run;
    QProcess host;
    host.setWorkingDirectory(workDir);
    if (launcher.isEmpty())
        host.start(QStringLiteral(MULTIVIEW_PATH), args);
    else
        host.start(launcher[0], launcher.mid(1) + QStringList{QStringLiteral(MULTIVIEW_PATH)} + args);
    if (!host.waitForFinished(180000)) {
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

// Engines may blend a glyph with a translucent strip below it, which darkens
// it but keeps its hue; no camera colour is that pure.
bool near(QRgb p, QRgb ink)
{
    const int peak = std::max({qRed(p), qGreen(p), qBlue(p)});
    return peak >= 96 && std::abs(qRed(p) * 255 / peak - qRed(ink)) < 16
        && std::abs(qGreen(p) * 255 / peak - qGreen(ink)) < 16 && std::abs(qBlue(p) * 255 / peak - qBlue(ink)) < 16;
}

// How many pixels of area are near ink, or (without ink) not black.
int count(QImage const& image, QRect const& area, QRgb ink = 0)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += ink ? near(image.pixel(x, y), ink) : (image.pixel(x, y) & 0xffffff) != 0;
    return n;
}

bool mostlyLit(QImage const& image, QRect const& area)
{
    return count(image, area) > 0.95 * (area & image.rect()).width() * (area & image.rect()).height();
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

// Where a cell shows its camera's name.
QRect labelOf(QRect const& cell)
{
    return QRect(cell.left(), cell.bottom() - kLabelHeight, cell.width() / 2, kLabelHeight);
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

} // namespace

class tst_Multiview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void screenshotShowsTheWall_data();
    void screenshotShowsTheWall();
    void contactSheetHoldsEveryEngineAndTheirDifferences();
    void refusals_data();
    void refusals();

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
    QVERIFY2(run.finished && run.exitCode == 0, run.why().constData());

    const QImage image(shot);
    QCOMPARE(image.size(), kWindow);
    for (int i = 0; i < tiles; ++i) {
        const QRect c = cell(tiles, i);
        const QRect picture = c.adjusted(c.width() / 4, c.height() / 4, -c.width() / 4, -c.height() / 4);
        QVERIFY2(mostlyLit(image, picture), qPrintable(QStringLiteral("tile %1 is dark").arg(i)));
        QVERIFY2(count(image, labelOf(c), kLabelInk) >= 30,
                 qPrintable(QStringLiteral("tile %1 shows no label glyphs").arg(i)));
    }
    // The screen is cleared black between the tiles.
    QCOMPARE(image.pixel(kWindow.width() / 2, cell(tiles, 0).center().y()) & 0xffffff, 0u);
    const QRect status(0, kWindow.height() - kStatusHeight, kWindow.width() / 2, kStatusHeight);
    QVERIFY2(count(image, status, kStatusInk) >= 30, "the status line shows no glyphs");

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
        QVERIFY2(run.finished && run.exitCode == 0, run.why().constData());
    else
        QVERIFY2(run.finished && run.exitCode == 1 && run.err.contains(QStringLiteral("not built")),
                 run.why().constData());

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
        QVERIFY2(mostlyLit(image, c.adjusted(40, 40, -40, -40)), qPrintable(engines[i]));
        QVERIFY2(count(image, labelOf(c), kLabelInk) > 0, qPrintable(engines[i]));
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
    QCOMPARE(pairs, int(builtEngines().size() * (builtEngines().size() - 1) / 2));
}

// Each refusal names what is wrong on stderr. CACHE is the test's atlas
// cache; DIR, a fresh directory without fontgen, is the working directory.
void tst_Multiview::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("message");
    QTest::newRow("no tiles") << QStringList{"--tiles", "0"} << 2 << QStringList{"--tiles"};
    QTest::newRow("too many tiles") << QStringList{"--tiles", "65"} << 2 << QStringList{"--tiles"};
    QTest::newRow("tiles not a number") << QStringList{"--tiles", "four"} << 2 << QStringList{"--tiles"};
    QTest::newRow("tiles without value") << QStringList{"--tiles"} << 2 << QStringList{"tiles"};
    QTest::newRow("negative frames") << QStringList{"--frames", "-3"} << 2 << QStringList{"--frames"};
    QTest::newRow("zero frames") << QStringList{"--frames", "0"} << 2 << QStringList{"--frames"};
    QTest::newRow("unknown engine") << QStringList{"--engine", "vulkan"} << 2
                                    << QStringList{"unknown engine 'vulkan'"};
    QTest::newRow("unknown option") << QStringList{"--fast"} << 2 << QStringList{"fast"};
    QTest::newRow("stray argument") << QStringList{"wall.png"} << 2 << QStringList{"unexpected argument"};
    QTest::newRow("empty screenshot path") << QStringList{"--screenshot", ""} << 2 << QStringList{"--screenshot"};
    QTest::newRow("compare with engine") << QStringList{"--compare", "s.png", "--engine", "qt"} << 2
                                         << QStringList{"--compare"};
    QTest::newRow("unwritable screenshot")
        << QStringList{"--frames", "2", "--tiles", "1", "--screenshot", "DIR/no/such/dir/shot.png", "--cache", "CACHE"}
        << 1 << QStringList{"cannot write the screenshot"};
    // With no atlas and no generator the library could only stop the process.
    QTest::newRow("empty cache without fontgen") << QStringList{"--frames", "1", "--cache", "DIR/empty"} << 1
                                                 << QStringList{"holds no atlases", "fontgen"};
#ifdef DORURIZAR_HAS_SDL
    QTest::newRow("sdl on a 16-bit display")
        << QStringList{"--engine", "sdl", "--frames", "2", "--tiles", "1", "--cache", "CACHE"} << 1
        << QStringList{"the sdl engine cannot start", "32 bits"};
#endif
}

void tst_Multiview::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, message);
    QTemporaryDir dir;
    args.replaceInStrings(QStringLiteral("CACHE"), mCache).replaceInStrings(QStringLiteral("DIR"), dir.path());
    QStringList launcher;  // an X server of its own for the display the test's server is not
    if (QTest::currentDataTag() == QByteArray("sdl on a 16-bit display"))
        launcher = QStringList{"xvfb-run", "-a", "-s", "-screen 0 640x480x16"};
    const HostRun run = runHost(args, dir.path(), launcher);
    QVERIFY2(run.finished && run.exitCode == exitCode, run.why().constData());
    bool said = false;  // on one line of its own
    for (QString const& line : run.err.split(QLatin1Char('\n'))) {
        const auto inLine = [&line](QString const& part) { return line.contains(part); };
        said = said || (line.startsWith("multiview: ") && std::all_of(message.begin(), message.end(), inLine));
    }
    QVERIFY2(said, qPrintable(run.err));
}

DTEST_MAIN(tst_Multiview)
#include "tst_multiview.moc"
