#ifndef MULTIVIEW_VIDEOSOURCE_H
#define MULTIVIEW_VIDEOSOURCE_H

#include <dorurizar/uniyuvframe.h>

#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include <QImage>

struct AVFrame;
struct SwsContext;

// Owns one reference to a decoded frame: its planes stay valid while it lives.
struct FrameRelease {
    void operator()(AVFrame* frame) const;
};
using FrameRef = std::unique_ptr<AVFrame, FrameRelease>;

// What hosts do without the engines' YUV drawing: libswscale turns each
// frame into a full-size ARGB32 QImage, which is then drawn scaled.
class RgbConverter
{
public:
    RgbConverter() = default;
    RgbConverter(RgbConverter const&) = delete;
    RgbConverter& operator=(RgbConverter const&) = delete;
    ~RgbConverter();

    // Makes the frame's picture.
    void convert(AVFrame const* frame);
    QImage const& picture() const { return mPicture; }

private:
    SwsContext* mScale = nullptr;
    QImage mPicture;
};

// A video file played as a camera. A thread of its own demuxes and decodes it
// into a small queue of frames, blocking while the queue is full, and seeks
// back to the start at the end so that the file loops. Frames leave the
// decoder as I420, NV12 or YUYV; any other pixel format is converted to I420
// there, once. A file that cannot be opened or decoded, or that ends early
// or breaks, fails the source: once the frames decoded before are shown,
// its tile shows "no signal".
class VideoSource
{
public:
    static const int kQueueDepth = 3;

    explicit VideoSource(QString const& path);
    ~VideoSource();  // stops the decoder

    // The newest frame due at `seconds` of playback (0 is the file's first
    // frame), or null when no frame after the one last taken is due yet.
    // Frames due before the one returned are dropped and counted. With
    // `wait`, first waits (up to a few seconds) until the decoder has shown
    // that no later frame is due, so that every frame is taken on time.
    FrameRef takeDue(double seconds, bool wait);

    // Waits (up to a few seconds) until the queue is full or the source has
    // failed, so that playback starts with every decoder ahead of the clock.
    void waitBuffered();

    // Whether the source failed and has no frame left to show.
    bool failed() const;
    QString failure() const;  // why it failed
    QString path() const { return mPath; }
    int shown() const;
    int dropped() const;

    // The frame as the engines take it: its planes, pixel layout, matrix and range.
    static cUniYuvFrame describe(AVFrame const* frame);

private:
    struct Timed {
        FrameRef frame;
        double seconds;
    };
    class Decoder;

    void decode();
    // Queues a frame, waiting while the queue is full; false once stopping.
    bool deliver(FrameRef frame, double seconds);
    void fail(QString const& why);
    bool stopping() const;

    const QString mPath;
    mutable std::mutex mLock;
    std::condition_variable mChanged;
    std::deque<Timed> mQueue;
    bool mStop = false;
    bool mFailed = false;
    QString mFailure;
    int mShown = 0;
    int mDropped = 0;
    std::thread mThread;  // last: starts once everything above exists
};

#endif
