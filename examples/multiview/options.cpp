#include "options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

const int kMaxTiles = 64;
const int kScreenshotFrames = 10;
const int kCompareFrames = 3;
const int kDefaultTiles = 16;

// Each --source in order; a directory stands for every regular file in it,
// sorted by name. Paths that name nothing stay, and play as "no signal".
QStringList expandSources(QStringList const& given)
{
    QStringList files;
    for (QString const& path : given) {
        if (!QFileInfo(path).isDir()) {
            files << path;
            continue;
        }
        const QDir dir(path);
        for (QString const& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
            files << dir.filePath(name);
    }
    return files;
}

bool readCount(QString const& text, int low, int high, int* out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    *out = value;
    return true;
}

// QCommandLineParser's own help asks QCoreApplication, which does not exist
// yet: arguments are refused before any window system is touched.
QString usage(QList<QCommandLineOption> const& options)
{
    QString text = QStringLiteral("Usage: multiview [options]\n"
                                  "A video wall of synthetic 704x576 cameras, or of video files, drawn through one "
                                  "of the library's engines.\n\nOptions:\n");
    for (QCommandLineOption const& o : options) {
        QStringList names;
        for (QString const& n : o.names())
            names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
        QString left = names.join(QStringLiteral(", "));
        if (!o.valueName().isEmpty())
            left += QStringLiteral(" <%1>").arg(o.valueName());
        text += QStringLiteral("  %1  %2\n").arg(left, -26).arg(o.description());
    }
    return text;
}

} // namespace

QStringList Options::builtEngines()
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

Options Options::parse(QStringList const& arguments)
{
    Options o;
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption engine(QStringLiteral("engine"),
                                    QStringLiteral("Engine: %1 (default qt).").arg(builtEngines().join(QStringLiteral(", "))),
                                    QStringLiteral("name"));
    const QCommandLineOption listEngines(QStringLiteral("list-engines"),
                                         QStringLiteral("Print the engines this build carries, one per line, and exit."));
    const QCommandLineOption tiles(QStringLiteral("tiles"),
                                   QStringLiteral("Number of camera tiles, 1 to %1 (default 16).").arg(kMaxTiles),
                                   QStringLiteral("n"));
    const QCommandLineOption frames(QStringLiteral("frames"),
                                    QStringLiteral("Draw n frames, then exit (default: until closed; %1 with --screenshot).")
                                        .arg(kScreenshotFrames),
                                    QStringLiteral("n"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Run the wall at 25 frames per second for n seconds, then exit."),
                                     QStringLiteral("n"));
    const QCommandLineOption source(QStringLiteral("source"),
                                    QStringLiteral("Play a video file in the next tile, looping; a directory plays "
                                                   "each of its files. Repeatable; the other tiles keep "
                                                   "synthetic cameras."),
                                    QStringLiteral("path"));
    const QCommandLineOption rgbVideo(QStringLiteral("rgb-video"),
                                      QStringLiteral("Convert video frames to RGB QImages with libswscale and draw "
                                                     "those, as hosts without YUV drawing do (for comparison)."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save the last frame as shown on screen."),
                                        QStringLiteral("file.png"));
    const QCommandLineOption compare(QStringLiteral("compare"),
                                     QStringLiteral("Draw one still scene through every engine and save the frames "
                                                    "side by side with their differences."),
                                     QStringLiteral("file.png"));
    const QCommandLineOption cache(QStringLiteral("cache"),
                                   QStringLiteral("Font atlas cache directory (made when missing)."),
                                   QStringLiteral("dir"));
    const QCommandLineOption still(QStringLiteral("still"),
                                   QStringLiteral("Show the same moment every frame and no frame rate, so that "
                                                  "screenshots are reproducible."));
    const QCommandLineOption stats(QStringLiteral("stats"),
                                   QStringLiteral("Print frame time and memory use when the run ends."));
    const QList<QCommandLineOption> all{help,       engine,  listEngines, tiles, frames, seconds,
                                        source,     rgbVideo, screenshot, compare, cache, still, stats};
    parser.addOptions(all);
    o.helpText = usage(all);

    if (!parser.parse(arguments)) {
        o.error = parser.errorText();
        return o;
    }
    if (parser.isSet(help)) {
        o.helpRequested = true;
        return o;
    }
    if (parser.isSet(listEngines)) {
        o.listEngines = true;
        return o;
    }
    if (!parser.positionalArguments().isEmpty()) {
        o.error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return o;
    }

    if (parser.isSet(engine)) {
        o.engine = parser.value(engine).toLower();
        if (!QStringList{QStringLiteral("qt"), QStringLiteral("gl"), QStringLiteral("sdl")}.contains(o.engine)) {
            o.error = QStringLiteral("unknown engine '%1' (choose qt, gl or sdl)").arg(parser.value(engine));
            return o;
        }
        if (!builtEngines().contains(o.engine)) {
            o.error = QStringLiteral("the %1 engine is not built into this library (built: %2)")
                          .arg(o.engine, builtEngines().join(QStringLiteral(", ")));
            return o;
        }
    }
    if (parser.isSet(tiles) && !readCount(parser.value(tiles), 1, kMaxTiles, &o.tiles)) {
        o.error = QStringLiteral("--tiles wants a whole number from 1 to %1, not '%2'")
                      .arg(kMaxTiles)
                      .arg(parser.value(tiles));
        return o;
    }
    if (parser.isSet(frames) && !readCount(parser.value(frames), 1, 1000000000, &o.frames)) {
        o.error = QStringLiteral("--frames wants a whole number of at least 1, not '%1'").arg(parser.value(frames));
        return o;
    }
    if (parser.isSet(seconds) && !readCount(parser.value(seconds), 1, 1000000, &o.seconds)) {
        o.error = QStringLiteral("--seconds wants a whole number of at least 1, not '%1'").arg(parser.value(seconds));
        return o;
    }
    if (o.seconds > 0 && o.frames > 0) {
        o.error = QStringLiteral("--seconds runs in real time and --frames as fast as it can; choose one");
        return o;
    }
    if (parser.values(source).contains(QString())) {
        o.error = QStringLiteral("--source wants a path");
        return o;
    }
    o.sources = expandSources(parser.values(source));
    if (!parser.isSet(tiles))
        o.tiles = std::min(kMaxTiles, std::max(kDefaultTiles, int(o.sources.size())));
    if (o.sources.size() > o.tiles) {
        o.error = QStringLiteral("%1 video sources do not fit on %2 tiles").arg(o.sources.size()).arg(o.tiles);
        return o;
    }
    for (QCommandLineOption const* path : {&screenshot, &compare, &cache}) {
        if (parser.isSet(*path) && parser.value(*path).isEmpty()) {
            o.error = QStringLiteral("--%1 wants a path").arg(path->names().first());
            return o;
        }
    }
    o.screenshot = parser.value(screenshot);
    o.compare = parser.value(compare);
    o.cache = parser.value(cache);
    o.still = parser.isSet(still);
    o.stats = parser.isSet(stats);
    o.rgbVideo = parser.isSet(rgbVideo);

    if (!o.compare.isEmpty()) {
        if (parser.isSet(engine) || !o.screenshot.isEmpty()) {
            o.error = QStringLiteral("--compare draws through every engine itself; drop --engine and --screenshot");
            return o;
        }
        o.still = true;
        if (o.frames == 0)
            o.frames = kCompareFrames;
    }
    if (!o.screenshot.isEmpty() && o.frames == 0)
        o.frames = kScreenshotFrames;
    return o;
}
