#include "runstats.h"

#include <QFile>

namespace {

// A "Name:   1234 kB" field of /proc/self/status; -1 where there is none.
long statusKb(QByteArray const& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = field + ':';
    for (QByteArray const& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

RunStats::RunStats(int warmUpFrames)
    : mWarmUpFrames(warmUpFrames)
{
    mClock.start();
}

void RunStats::frameDrawn()
{
    const qint64 now = mClock.nsecsElapsed();
    if (mFrames == 0) {
        mFirstFrameNs = now;
        mWindowStart = now / 1000000;
    }
    mLastFrameNs = now;
    ++mFrames;
    if (mFrames == mWarmUpFrames)
        mWarmRssKb = statusKb("VmRSS");

    ++mWindowFrames;
    const qint64 ms = now / 1000000;
    if (ms - mWindowStart >= 500) {
        mFps = mWindowFrames * 1000.0 / double(ms - mWindowStart);
        mWindowStart = ms;
        mWindowFrames = 0;
    }
}

QString RunStats::summary(QString const& engine, int tiles) const
{
    const double frameMs = mFrames > 1 ? (mLastFrameNs - mFirstFrameNs) / 1e6 / (mFrames - 1) : 0.0;
    const long rss = statusKb("VmRSS");
    return QStringLiteral("STATS engine=%1 tiles=%2 frames=%3 frame_ms=%4 fps=%5 warmup_frames=%6 "
                          "rss_warm_kb=%7 rss_end_kb=%8 rss_growth_kb=%9 peak_kb=%10")
        .arg(engine)
        .arg(tiles)
        .arg(mFrames)
        .arg(frameMs, 0, 'f', 3)
        .arg(frameMs > 0 ? 1000.0 / frameMs : 0.0, 0, 'f', 1)
        .arg(mWarmUpFrames)
        .arg(mWarmRssKb)
        .arg(rss)
        .arg(mWarmRssKb >= 0 && rss >= 0 ? rss - mWarmRssKb : 0)
        .arg(statusKb("VmHWM"));
}
