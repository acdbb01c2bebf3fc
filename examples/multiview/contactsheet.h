#ifndef MULTIVIEW_CONTACTSHEET_H
#define MULTIVIEW_CONTACTSHEET_H

#include "options.h"

#include <QImage>
#include <QString>
#include <QVector>

// The same still wall through every engine, side by side, with a difference
// image and the number of differing pixels for each pair below. SDL video
// starts only once per process, so each engine draws in a child process of
// this program.
class ContactSheet
{
public:
    ContactSheet(Options const& options, QString const& program);

    // Writes the sheet (also when an engine failed); the exit code.
    int run();

    // Pixels whose colour differs (alpha ignored); a size mismatch counts the
    // uncovered pixels as differing. The image: the first frame faded to grey
    // where they agree, red to yellow by the size of the difference where not.
    static QImage difference(QImage const& a, QImage const& b, qint64* differing);

private:
    struct Panel {
        QString engine;
        QImage frame;
        QString problem;
    };

    Panel capture(QString const& engine, QString const& dir) const;
    QImage compose(QVector<Panel> const& panels, QStringList* lines) const;

    Options mOptions;
    QString mProgram;
};

#endif
