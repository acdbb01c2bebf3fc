#ifndef MULTIVIEW_OPTIONS_H
#define MULTIVIEW_OPTIONS_H

#include <QString>
#include <QStringList>

// What the command line asked for. parse() refuses anything it cannot honour
// before a window or an engine exists, so a typo never leaves a half-started
// wall behind.
struct Options {
    QString engine = QStringLiteral("qt");
    int tiles = 16;
    int frames = 0;   // 0: run until the window is closed
    int seconds = 0;  // with frames 0: run the wall in real time this long, then exit
    QStringList sources;  // video files for the first tiles, directories expanded
    QString screenshot;
    QString compare;
    QString cache;
    bool still = false;
    bool stats = false;
    bool rgbVideo = false;  // video through libswscale and QImages, not the engines' YUV drawing

    bool helpRequested = false;
    bool listEngines = false;
    QString error;  // set when the arguments are refused
    QString helpText;

    static Options parse(QStringList const& arguments);
    // The engines this build of the library carries, in the order they are compared.
    static QStringList builtEngines();
};

#endif
