// The generator's progress stream arriving in chunks of any size: after each
// chunk the progress is the last whole value so far, held to 0..100, and the
// bytes of an incomplete value wait on the device.

#include "fontgeneration_p.h"

#include <QBuffer>
#include <QtEndian>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray arrived;
    QBuffer device(&arrived);
    device.open(QIODevice::ReadOnly);
    QDataStream stream(&device);
    int progress = 0;
    // A chunk is a length byte (0..15), then that many bytes of the stream.
    for (size_t at = 0, n = 0; at < std::min<size_t>(size, 4096); at += 1 + n) {
        n = std::min<size_t>(data[at] % 16, size - at - 1);
        arrived.append(reinterpret_cast<char const*>(data + at + 1), int(n));
        progress = UniFontMapNS::readProgress(stream, progress);
        const int whole = arrived.size() / 4;
        const qint32 value = whole ? qFromBigEndian<qint32>(arrived.constData() + 4 * whole - 4) : 0;
        if (progress != qBound(0, int(value), 100) || device.pos() != 4 * whole)
            qFatal("progress %d after %d bytes", progress, int(arrived.size()));
    }
    return 0;
}
