#include "multiview.h"

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

namespace {

const QSize kWindowSize(960, 600);
const int kLiveFrameMs = 40;  // a steady 25 frames per second when nobody waits for the end
const int kStillTime = 40;    // the moment a still wall shows
const int kSettleFrames = 50; // live frames in which the clock waits rather than skips

const int kGrabRetries = 3;

bool isBlack(QImage const& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] & 0xffffff)
                return false;
        }
    }
    return true;
}

// Seconds of CPU this process has used, every thread counted.
double cpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

int warmUpFrames(int frames)
{
    return frames > 0 ? std::min(frames, std::max(30, frames / 10)) : 30;
}

} // namespace

Multiview::Multiview(Options const& options)
    : mOptions(options)
    , mStats(warmUpFrames(options.frames))
{
    mPace.setSingleShot(true);
    mPace.setTimerType(Qt::PreciseTimer);
}

Multiview::~Multiview() = default;

int Multiview::exec()
{
    mHost = ScreenHost::create(mOptions.engine);
    if (!mHost) {
        std::fprintf(stderr, "multiview: the %s engine is not built into this library\n", qPrintable(mOptions.engine));
        return 1;
    }
    // Before the window: on an empty font cache this shows the generation dialog.
    mWall = std::make_unique<TileWall>(mOptions.tiles, mOptions.sources, mOptions.rgbVideo, mHost->title());
    if (!mHost->start(kWindowSize)) {
        std::fprintf(stderr, "multiview: the %s engine cannot start: %s\n", qPrintable(mOptions.engine),
                     qPrintable(mHost->failure()));
        return 1;
    }
    mWall->waitBuffered();
    mHost->widget()->installEventFilter(this);
    mHost->setDraw([this] { drawFrame(); });
    connect(&mPace, &QTimer::timeout, this, [this] { mHost->requestFrame(); });
    mPace.start(0);
    return QApplication::exec();
}

QString Multiview::status() const
{
    const QString tiles = mOptions.tiles == 1 ? QStringLiteral("1 camera")
                                              : QStringLiteral("%1 cameras").arg(mOptions.tiles);
    if (mOptions.still || mStats.fps() <= 0)
        return tiles;
    return tiles + QStringLiteral(" · %1 fps").arg(mStats.fps(), 0, 'f', 1);
}

void Multiview::drawFrame()
{
    // Once the run is over a repaint shows the last frame again.
    if (mFinishing) {
        mWall->draw(mHost->screen(), mTime, false, status());
        return;
    }
    // A live wall keeps the time of day: frame n is due n / 25 s after the
    // first, and a frame drawn late skips the moments it missed, so that video
    // plays at its own rate. A run of --frames steps 1/25 s per frame and
    // waits for every video frame, so that its screenshots are reproducible.
    // Playback starts once the first frame is up, and settles in for its first
    // frames: the decoders' frame pools and the engines' buffers grow to their
    // working size then, and first touching that memory can hold a frame up
    // for a tenth of a second. Meanwhile the clock waits for a late frame and
    // every video frame is waited for, rather than skipped.
    const bool live = mOptions.frames == 0;
    const bool settling = mFrames < kSettleFrames;
    int tick = mFrames;
    if (live && mClock.isValid()) {
        tick = int((mClock.elapsed() - mSlipMs) / kLiveFrameMs);
        if (settling && tick > mTick + 1) {
            mSlipMs += qint64(tick - mTick - 1) * kLiveFrameMs;
            tick = mTick + 1;
        }
    }
    mTick = tick;
    mTime = mOptions.still ? kStillTime : tick;
    mWall->draw(mHost->screen(), mTime, !live || settling, status());
    if (!mClock.isValid()) {
        mClock.start();
        mCpuAtStart = cpuSeconds();
    }
    ++mFrames;
    mStats.frameDrawn();
    if ((mOptions.frames > 0 && mFrames >= mOptions.frames)
        || (mOptions.seconds > 0 && mClock.elapsed() >= mOptions.seconds * 1000LL)) {
        mFinishing = true;
        QTimer::singleShot(0, this, [this] { finish(); });
        return;
    }
    // The next moment's frame, a millisecond late rather than early.
    mPace.start(live ? int(std::max<qint64>(0, (tick + 1) * kLiveFrameMs + 1 + mSlipMs - mClock.elapsed())) : 0);
}

void Multiview::finish()
{
    // Lets the last frame reach the X server before it is read back. A
    // screenshot presents it twice more (the same picture), painting each
    // time: on Qt 6 the GL widget shows a frame when Qt composes it, and under
    // Mesa that composition sometimes still showed the frame before the last,
    // now and then even after one more.
    for (int i = 0; i < 2 && !mOptions.screenshot.isEmpty() && mGrabRetries == 0; ++i) {
        mHost->requestFrame();
        mHost->widget()->repaint();
        QApplication::processEvents();
    }
    QApplication::processEvents();
    int code = 0;
    if (!mOptions.screenshot.isEmpty()) {
        const QImage shot = mHost->grab();
        // The wall always has a grey status line, so an all-black read-back
        // caught the window before the frame reached it: present it again.
        if (isBlack(shot) && ++mGrabRetries <= kGrabRetries) {
            std::fprintf(stderr, "multiview: the window read back black; presenting the last frame again\n");
            mHost->requestFrame();
            QTimer::singleShot(200, this, [this] { finish(); });
            return;
        }
        if (shot.isNull() || !shot.save(mOptions.screenshot, "PNG")) {
            std::fprintf(stderr, "multiview: cannot write the screenshot %s\n", qPrintable(mOptions.screenshot));
            code = 1;
        }
    }
    if (mOptions.stats) {
        int shown = 0, dropped = 0;
        const QStringList sources = mWall->videoReport(&shown, &dropped);
        // play_s and cpu_s run from the first frame to the last: start-up is not counted.
        std::printf("%s video_shown=%d video_dropped=%d play_s=%.3f cpu_s=%.3f\n",
                    qPrintable(mStats.summary(mOptions.engine, mOptions.tiles)), shown, dropped,
                    mClock.elapsed() / 1000.0, cpuSeconds() - mCpuAtStart);
        for (QString const& line : sources)
            std::printf("%s\n", qPrintable(line));
    }
    std::fflush(stdout);
    QApplication::exit(code);
}

bool Multiview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mHost->widget() && event->type() == QEvent::MouseButtonPress) {
        const QPoint pos = static_cast<QMouseEvent*>(event)->pos();
        mWall->select(mWall->tileAt(mHost->widget()->size(), pos));
        return true;
    }
    return QObject::eventFilter(watched, event);
}
