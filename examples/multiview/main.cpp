// A video wall: a grid of synthetic 704x576 cameras with labels, outlines and
// a highlighted tile, drawn through the Qt, OpenGL or SDL engine.
//
//   multiview --engine gl --tiles 16
//   multiview --engine sdl --frames 300 --screenshot wall.png
//   multiview --compare sheet.png

#include "contactsheet.h"
#include "multiview.h"
#include "options.h"

#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

QStringList argumentList(int argc, char** argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

bool haveDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

// Atlases come from the cache or, when it holds none, from ./fontgen; with
// neither the library could only stop the process.
bool fontsReachable(QString* why)
{
    const QString cache = cFontInfo::makeCacheBasePath(QString());
    if (cache.isEmpty() || !QDir(cache).exists()) {
        *why = QStringLiteral("the font cache directory '%1' cannot be made").arg(cache);
        return false;
    }
    if (!QDir(cache).entryList({QStringLiteral("*.rects")}, QDir::Files).isEmpty())
        return true;
    if (QFileInfo(QStringLiteral("fontgen")).isExecutable())
        return true;
    *why = QStringLiteral("the font cache '%1' holds no atlases and there is no ./fontgen in %2 to make them; "
                          "run multiview from the directory that holds fontgen, or pass --cache with a filled cache")
               .arg(cache, QDir::currentPath());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = Options::parse(argumentList(argc, argv));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "multiview: %s\nTry 'multiview --help'.\n", qPrintable(options.error));
        return 2;
    }
    if (options.helpRequested) {
        std::printf("%s", qPrintable(options.helpText));
        return 0;
    }
    if (options.listEngines) {
        for (QString const& engine : Options::builtEngines())
            std::printf("%s\n", qPrintable(engine));
        return 0;
    }
    if (!haveDisplay()) {
        std::fprintf(stderr, "multiview: no X display (DISPLAY is not set); run it on a desktop or under xvfb-run\n");
        return 1;
    }

    QApplication app(argc, argv);
    if (!options.cache.isEmpty())
        cFontInfo::makeCacheBasePath(QFileInfo(options.cache).absoluteFilePath());
    QString why;
    if (!fontsReachable(&why)) {
        std::fprintf(stderr, "multiview: %s\n", qPrintable(why));
        return 1;
    }

    if (!options.compare.isEmpty())
        return ContactSheet(options, QCoreApplication::applicationFilePath()).run();
    Multiview wall(options);
    return wall.exec();
}
