// The multiview host on every engine: what its screenshot shows, what its
// contact sheet holds, and how it refuses what it cannot do. Every run of the
// host is a child process with a time limit; its command line is also read
// here, in the test's own process.

#include "options.h"

#include <atlasfile.h>
#include <testsupport.h>
#include <yuvbars.h>

#include <dorurizar/qtengine.h>
#include <dorurizar/uniimg.h>

#include <QApplication>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const QSize kWindow(960, 600);
const int kStatusHeight = 28, kLabelHeight = 20;
// The atlases the host asks for have glyphs in colours no camera shows.
const QRgb kLabelInk = qRgb(255, 0, 255), kStatusInk = qRgb(0, 255, 255);
const QStringList kEngines{QStringLiteral("qt"), QStringLiteral("gl"), QStringLiteral("sdl")};
const QStringList kBuilt = QStringLiteral(DORURIZAR_BUILT_ENGINES).split(QLatin1Char(' '));

struct HostRun {
    int exitCode;  // -1 unless it ended by itself within the time limit
    QString out, err;

    QByteArray why() const
    {
        return QStringLiteral("exit %1\nstdout: %2\nstderr: %3").arg(exitCode).arg(out, err).toLocal8Bit();
    }
};

// Every run of the host: its own process, a time limit, in workDir when given,
// started through the launcher command when given.
HostRun runHost(QStringList const& args, QString const& workDir = QString(), QStringList launcher = {})
{
    QProcess host;
    host.setWorkingDirectory(workDir);
    launcher << QStringLiteral(MULTIVIEW_PATH);
    host.start(launcher[0], launcher.mid(1) + args);
    const bool ended = host.waitForFinished(180000) && host.exitStatus() == QProcess::NormalExit;
    host.kill();
    host.waitForFinished(5000);
    return {ended ? host.exitCode() : -1, QString::fromLocal8Bit(host.readAllStandardOutput()),
            QString::fromLocal8Bit(host.readAllStandardError())};
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
    return count(image, area) > 0.95 * area.width() * area.height();
}

// The cell of tile i on a wall of `tiles` tiles, as the host lays it out.
QRect cell(int tiles, int i)
{
    const int columns = int(std::ceil(std::sqrt(double(tiles))));
    const int w = kWindow.width() / columns;
    const int h = (kWindow.height() - kStatusHeight) / ((tiles + columns - 1) / columns);
    return QRect((i % columns) * w + 1, (i / columns) * h + 1, w - 2, h - 2);
}

// Where a cell shows its camera's name.
QRect labelOf(QRect const& cell)
{
    return QRect(cell.left(), cell.bottom() - kLabelHeight, cell.width() / 2, kLabelHeight);
}

// The frame number the sample clip's counter (12 blocks of 32 of its 704 x
// 576 pixels, bit 0 leftmost) spells in a cell.
int frameIn(QImage const& image, QRect const& c)
{
    int n = 0;
    for (int b = 0; b < 12; ++b)
        n |= (qGray(image.pixel(c.left() + (b * 32 + 16) * c.width() / 704, c.top() + 16 * c.height() / 576)) > 128) << b;
    return n;
}

// Whether a cell says "no signal": the label's glyphs on a dark ground in the
// middle of the picture above its label strip.
bool showsNoSignal(QImage const& image, QRect const& c)
{
    const QRect m(c.center().x() - 50, c.center().y() - kLabelHeight, 100, kLabelHeight + 10);
    int ink = 0, dark = 0;
    for (int y = m.top(); y <= m.bottom(); ++y)
        for (int x = m.left(); x <= m.right(); ++x) {
            ink += near(image.pixel(x, y), kLabelInk);
            dark += qGray(image.pixel(x, y)) < 60;
        }
    return ink >= 20 && ink + dark > 0.9 * m.width() * m.height();
}

// Whether this build's engines draw video frames: the Qt engine's white bar
// shows. Where they do not yet, a wall shows its sources' states but no picture.
bool enginesDrawVideo()
{
    static cQTEngine engine;  // the current engine from here on
    cUniImg::switchEngine(&engine);
    const dtest::YuvBars bars = dtest::yuvBars(cUniYuvFrame::I420, QSize(16, 8), cUniYuvFrame::BT601,
                                               cUniYuvFrame::Limited);
    cUniImg img;
    img.resize(QSize(16, 8));
    img.beginUpdate();
    img.fillRect(img.rect(), QColor(0, 0, 0));
    img.drawImage(img.rect(), bars.frame, bars.frame.rect());
    img.endUpdate();
    return qGray(engine.QImagefromUniImage(&img).pixel(0, 0)) > 128;
}

} // namespace

class tst_Multiview : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;
    QString mCache = mDir.filePath(QStringLiteral("cache"));
    QString mClip = mDir.filePath(QStringLiteral("clip.mkv")), mCut = mDir.filePath(QStringLiteral("cut.mkv"));

private slots:
    void initTestCase()
    {
        const auto glyphWidth = [](int b) { return b == ' ' ? 3 : 5; };
        const atlasfile::Synthetic label = atlasfile::makeSynthetic(glyphWidth, 10, 1, kLabelInk, qRgb(0, 0, 0));
        const atlasfile::Synthetic status = atlasfile::makeSynthetic(glyphWidth, 12, 2, kStatusInk, qRgb(0, 0, 0));
        QVERIFY(atlasfile::writeAtlas(mCache, QStringLiteral("System_10_75_1_ffffffff_ff000000"), label.image,
                                      label.boxes));
        QVERIFY(atlasfile::writeAtlas(mCache, QStringLiteral("Tahoma_12_-1_2_ff303040_ff000000"), status.image,
                                      status.boxes));
        // A one-second clip, and a copy cut after a third of its bytes.
        QCOMPARE(QProcess::execute(QStringLiteral(MAKECLIP_PATH), {"--seconds", "1", mClip}), 0);
        QFile clip(mClip), cut(mCut);
        QVERIFY(clip.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
        QVERIFY(cut.write(clip.read(clip.size() / 3)) > 0);
    }

    void wallShowsVideoAndBrokenSources_data()
    {
        QTest::addColumn<QString>("engine");
        for (QString const& e : kBuilt)
            QTest::newRow(qPrintable(e)) << e;
    }

    // Tiles: the clip, a file that is not there, the cut clip, a synthetic
    // camera. A run of --frames n shows the clip's frame n - 1. How the host
    // plays is the same on every engine, and is followed over two runs on the
    // first; each engine draws the frames of the longer run.
    void wallShowsVideoAndBrokenSources()
    {
        QFETCH(QString, engine);
        const QString missing = mDir.filePath(QStringLiteral("missing.mkv"));
        const bool playback = engine == kBuilt.first();
        const QVector<int> frames = playback ? QVector<int>{2, 20} : QVector<int>{20};  // the cut clip breaks after some 8
        QVector<QImage> shots;
        for (int n : frames) {
            const QString shot = mDir.filePath(QStringLiteral("%1-video-%2.png").arg(engine).arg(n));
            const HostRun run = runHost({"--engine", engine, "--tiles", "4", "--stats", "--frames", QString::number(n),
                                         "--cache", mCache, "--screenshot", shot, "--source", mClip, "--source",
                                         missing, "--source", mCut});
            QVERIFY2(run.exitCode == 0, run.why().constData());
            QVERIFY2(run.out.contains(QStringLiteral("SOURCE tile=1 shown=%1 dropped=0 state=playing").arg(n))
                         && run.out.contains("SOURCE tile=2 shown=0 dropped=0 state=no-signal")
                         && run.err.contains(missing + ": cannot open"),
                     run.why().constData());
            const QRegularExpressionMatch stats =
                QRegularExpression(QStringLiteral("STATS engine=%1 tiles=4 frames=%2 .*peak_kb=(\\d+)").arg(engine).arg(n))
                    .match(run.out);
            QVERIFY2(stats.hasMatch() && stats.captured(1).toLong() > 0, qPrintable(run.out));
            shots << QImage(shot);
            QCOMPARE(shots.last().size(), kWindow);
            QVERIFY2(showsNoSignal(shots.last(), cell(4, 1)) && !showsNoSignal(shots.last(), cell(4, 0)),
                     qPrintable(shot));
        }

        // The wall around the pictures: every tile labelled, the synthetic
        // camera lit, the screen cleared black between the tiles, a status line.
        const QImage& wall = shots.last();
        for (int i = 0; i < 4; ++i)
            QVERIFY2(count(wall, labelOf(cell(4, i)), kLabelInk) >= 30, qPrintable(QStringLiteral("tile %1 no label").arg(i)));
        const QRect camera = cell(4, 3);
        QVERIFY2(mostlyLit(wall, camera.adjusted(camera.width() / 4, camera.height() / 4, -camera.width() / 4,
                                                 -camera.height() / 4)),
                 "the synthetic camera is dark");
        QCOMPARE(wall.pixel(kWindow.width() / 2, cell(4, 0).center().y()) & 0xffffff, 0u);
        const QRect status(0, kWindow.height() - kStatusHeight, kWindow.width() / 2, kStatusHeight);
        QVERIFY2(count(wall, status, kStatusInk) >= 30, "the status line shows no glyphs");
        QVERIFY2(showsNoSignal(wall, cell(4, 2)), "the cut clip's tile plays on");

        if (!enginesDrawVideo())
            QSKIP("the engines of this build draw no video frames: the pictures are not checked");
        QCOMPARE(frameIn(wall, cell(4, 0)), frames.last() - 1);
        if (!playback)
            return;
        QCOMPARE(frameIn(shots[0], cell(4, 0)), frames[0] - 1);
        QCOMPARE(frameIn(shots[0], cell(4, 2)), 1);
        // The sweeping bar moved between the shots.
        const QRect c = cell(4, 0);
        int moved = 0;
        for (int y = c.center().y(); y < c.bottom() - kLabelHeight; y += 8)
            for (int x = c.left() + 2; x < c.right() - 2; ++x)
                moved += std::abs(qGray(shots[0].pixel(x, y)) - qGray(shots[1].pixel(x, y))) > 64;
        QVERIFY2(moved > c.width() / 20, qPrintable(QString::number(moved)));
    }

    void contactSheetHoldsEveryEngineAndTheirDifferences()
    {
        const QString sheet = mDir.filePath(QStringLiteral("sheet.png"));
        const HostRun run = runHost({QStringLiteral("--compare"), sheet, QStringLiteral("--tiles"), QStringLiteral("4"),
                                     QStringLiteral("--cache"), mCache});
        QVERIFY2(kBuilt.size() == 3 ? run.exitCode == 0 : run.exitCode == 1 && run.err.contains("not built"),
                 run.why().constData());

        const QImage image(sheet);
        const int margin = 10, caption = 30;
        QCOMPARE(image.size(),
                 QSize(margin + 3 * (kWindow.width() + margin), margin + 2 * (caption + kWindow.height() + margin)));
        // The top row holds the frames: each engine's wall where it was built.
        for (int i = 0; i < kEngines.size(); ++i) {
            const QRect c = cell(4, 0).translated(margin + i * (kWindow.width() + margin), margin + caption);
            if (kBuilt.contains(kEngines[i]))
                QVERIFY2(mostlyLit(image, c.adjusted(40, 40, -40, -40)) && count(image, labelOf(c), kLabelInk) > 0,
                         qPrintable(kEngines[i]));
        }

        const QRegularExpression line(QStringLiteral("^(\\w+) vs (\\w+): (\\d+) pixels differ"),
                                      QRegularExpression::MultilineOption);
        int pairs = 0;
        for (auto it = line.globalMatch(run.out); it.hasNext(); ++pairs) {
            const QRegularExpressionMatch m = it.next();
            // The status line names the engine, so no two frames are identical,
            // yet the walls agree far more than they differ.
            const qint64 differing = m.captured(3).toLongLong();
            QVERIFY2(differing > 0 && differing < kWindow.width() * kWindow.height(), qPrintable(m.captured(0)));
        }
        QCOMPARE(pairs, kBuilt.size() * (kBuilt.size() - 1) / 2);
    }

    // Each refused command line names what is wrong.
    void argumentsRefused_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QStringList>("message");
        const auto row = [](char const* tag, char const* args, QStringList const& message) {
            QTest::newRow(tag) << QString::fromLatin1(args) << message;
        };
        row("no tiles", "--tiles 0", {"--tiles"});
        row("too many tiles", "--tiles 65", {"--tiles"});
        row("tiles not a number", "--tiles four", {"--tiles"});
        row("tiles without value", "--tiles", {"tiles"});
        row("negative frames", "--frames -3", {"--frames"});
        row("zero frames", "--frames 0", {"--frames"});
        row("unknown engine", "--engine vulkan", {"unknown engine 'vulkan'"});
        row("stray argument", "wall.png", {"unexpected argument"});
        row("empty screenshot path", "--screenshot ", {"--screenshot"});
        row("compare with engine", "--compare s.png --engine qt", {"--compare"});
        row("empty source path", "--source ", {"--source wants a path"});
        row("more sources than tiles", "--tiles 1 --source a.mkv --source b.mkv", {"2 video sources", "1 tiles"});
        row("seconds and frames", "--seconds 2 --frames 3", {"--seconds", "--frames"});
    }

    void argumentsRefused()
    {
        QFETCH(QString, args);
        QFETCH(QStringList, message);
        const Options o = Options::parse(QStringList{QStringLiteral("multiview")} + args.split(QLatin1Char(' ')));
        QVERIFY2(std::all_of(message.begin(), message.end(), [&o](QString const& part) { return o.error.contains(part); }),
                 qPrintable(o.error));
    }

    // The host refuses on stderr, on a line of its own, and exits 2 for a bad
    // command line and 1 for what it cannot do. CACHE is the test's atlas
    // cache; DIR, a fresh directory without fontgen, is the working directory.
    void refusals_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("message");
        const auto row = [](char const* tag, char const* args, int exitCode, QStringList const& message) {
            QTest::newRow(tag) << QString::fromLatin1(args) << exitCode << message;
        };
        row("unknown option", "--fast", 2, {"fast"});
        row("unwritable screenshot", "--frames 2 --tiles 1 --screenshot DIR/no/such/dir/shot.png --cache CACHE", 1,
            {"cannot write the screenshot"});
        // With no atlas and no generator the library could only stop the process.
        row("empty cache without fontgen", "--frames 1 --cache DIR/empty", 1, {"holds no atlases", "fontgen"});
#ifdef DORURIZAR_HAS_SDL
        // Run on an X server of its own: the test's display is not 16-bit.
        row("sdl on a 16-bit display", "--engine sdl --frames 2 --tiles 1 --cache CACHE", 1,
            {"the sdl engine cannot start", "32 bits"});
#endif
    }

    void refusals()
    {
        QFETCH(QString, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, message);
        QTemporaryDir dir;
        const QStringList launcher = QString::fromLatin1(QTest::currentDataTag()).startsWith("sdl")
            ? QStringList{"env", "OWN_DISPLAY_SCREEN=640x480x16", OWN_DISPLAY_PATH}
            : QStringList();
        const HostRun run =
            runHost(args.split(' ').replaceInStrings("CACHE", mCache).replaceInStrings("DIR", dir.path()), dir.path(),
                    launcher);
        QVERIFY2(run.exitCode == exitCode, run.why().constData());
        const QStringList lines = run.err.split(QLatin1Char('\n'));
        QVERIFY2(std::any_of(lines.begin(), lines.end(), [&message](QString const& line) {
                     const auto inLine = [&line](QString const& part) { return line.contains(part); };
                     return line.startsWith("multiview: ") && std::all_of(message.begin(), message.end(), inLine);
                 }), qPrintable(run.err));
    }
};

DTEST_MAIN(tst_Multiview)
#include "tst_multiview.moc"
