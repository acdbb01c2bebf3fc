#ifndef MULTIVIEW_MULTIVIEW_H
#define MULTIVIEW_MULTIVIEW_H

#include "options.h"
#include "runstats.h"
#include "screenhost.h"
#include "tilewall.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

// The wall on one engine: paces the frames, ends the run after --frames and
// leaves the screenshot and the statistics.
class Multiview : public QObject
{
public:
    explicit Multiview(Options const& options);
    ~Multiview() override;

    // Runs until the frames are drawn or the window is closed; the exit code.
    int exec();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void drawFrame();
    void finish();
    QString status() const;

    Options mOptions;
    std::unique_ptr<ScreenHost> mHost;
    std::unique_ptr<TileWall> mWall;  // its images go before the engine in mHost
    QTimer mPace;
    RunStats mStats;
    QElapsedTimer mClock;  // from the first frame
    double mCpuAtStart = 0;
    qint64 mSlipMs = 0;  // how far the clock was held back while playback settled
    int mFrames = 0;
    int mTick = 0;  // the moment of the last frame, in 25ths of a second
    int mTime = 0;
    bool mFinishing = false;
    int mGrabRetries = 0;
};

#endif
