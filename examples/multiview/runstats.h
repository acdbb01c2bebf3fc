#ifndef MULTIVIEW_RUNSTATS_H
#define MULTIVIEW_RUNSTATS_H

#include <QElapsedTimer>
#include <QString>

// Frame rate for the status line, and the figures --stats prints: mean frame
// time, resident memory after warm-up and at the end, and the peak.
class RunStats
{
public:
    explicit RunStats(int warmUpFrames);

    void frameDrawn();
    double fps() const { return mFps; }
    QString summary(QString const& engine, int tiles) const;

private:
    QElapsedTimer mClock;
    int mFrames = 0;
    int mWarmUpFrames;
    double mFps = 0;
    qint64 mWindowStart = 0;  // ms; the frame rate is counted over windows of half a second
    int mWindowFrames = 0;
    qint64 mFirstFrameNs = 0;
    qint64 mLastFrameNs = 0;
    long mWarmRssKb = -1;
};

#endif
