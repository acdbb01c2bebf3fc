#ifndef DORURIZAR_FONTGENERATION_P_H
#define DORURIZAR_FONTGENERATION_P_H

// Not installed: the first run's atlas generation, for cUniFontMap::Create.

#include <QDataStream>
#include <QIODevice>
#include <QtGlobal>

namespace UniFontMapNS {

// Reads the progress a generator has written so far to stream's device:
// every whole big-endian 32-bit value there, the last one held to 0..100, or
// last when none is whole yet. The bytes of a value still incomplete stay on
// the device: the rest of it arrives with a later poll.
inline int readProgress(QDataStream& stream, int last)
{
    while (stream.device()->bytesAvailable() >= 4) {
        qint32 value = 0;
        stream >> value;
        if (stream.status() != QDataStream::Ok) {
            stream.resetStatus();
            break;
        }
        last = qBound(0, int(value), 100);
    }
    return last;
}

// Runs the generator for every font of cUniFontMap::mDefaultFontSet at
// once into the cache directory (created when missing), under a progress
// dialog when a QApplication runs, and returns when every generator has
// finished or the time limit has passed; a generator still running then is
// stopped with every process it started, and so is one that floods its
// output. Called while a generation runs (from an event handled in its wait),
// it starts nothing and waits for that one. Whether atlases appeared is for
// the caller to find out.
void generateDefaultFonts();

} // namespace UniFontMapNS

#endif
