#include "videosource.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// A frame due within this much of the clock is due: the clock and the
// timestamps reach the same instant through different arithmetic.
const double kDueSlack = 1e-3;
const auto kWaitLimit = std::chrono::seconds(5);

QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

bool isDirect(AVFrame const* f)
{
    const AVPixelFormat format = AVPixelFormat(f->format);
    const int planes = format == AV_PIX_FMT_YUYV422 ? 1 : format == AV_PIX_FMT_NV12 ? 2 : 3;
    for (int i = 0; i < planes; ++i) {
        if (f->linesize[i] < 0)
            return false;
    }
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_NV12
        || format == AV_PIX_FMT_YUYV422;
}

bool isFullRange(AVFrame const* f)
{
    return f->color_range == AVCOL_RANGE_JPEG || f->format == AV_PIX_FMT_YUVJ420P
        || f->format == AV_PIX_FMT_YUVJ422P || f->format == AV_PIX_FMT_YUVJ444P;
}

// Pictures that do not say take BT.709 from HD sizes up, as players do.
bool isBt709(AVFrame const* f)
{
    return f->colorspace == AVCOL_SPC_BT709 || (f->colorspace == AVCOL_SPC_UNSPECIFIED && f->height >= 720);
}

} // namespace

void FrameRelease::operator()(AVFrame* frame) const
{
    av_frame_free(&frame);
}

// The FFmpeg side of one file: demuxer, decoder and converter, given back
// whichever way decoding ends.
class VideoSource::Decoder
{
public:
    ~Decoder()
    {
        sws_freeContext(scale);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    // Empty when the file plays; otherwise why not.
    QString open(QString const& path)
    {
        int r = avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr);
        if (r < 0)
            return QStringLiteral("cannot open: %1").arg(errorText(r));
        if ((r = avformat_find_stream_info(format, nullptr)) < 0)
            return QStringLiteral("unreadable: %1").arg(errorText(r));
        AVCodec const* decoder = nullptr;
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (stream < 0)
            return QStringLiteral("no video stream");
        AVStream* s = format->streams[stream];
        if (!decoder)
            return QStringLiteral("no decoder for %1").arg(QString::fromLatin1(avcodec_get_name(s->codecpar->codec_id)));
        codec = avcodec_alloc_context3(decoder);
        packet = av_packet_alloc();
        if (!codec || !packet || avcodec_parameters_to_context(codec, s->codecpar) < 0)
            return QStringLiteral("out of memory");
        // One thread per camera already; the decoder's own threads would only add latency.
        codec->thread_count = 1;
        if ((r = avcodec_open2(codec, decoder, nullptr)) < 0)
            return QStringLiteral("the decoder refused the stream: %1").arg(errorText(r));
        timeBase = av_q2d(s->time_base);
        const AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
        frameSeconds = rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 0.04;
        if (s->duration > 0)
            declaredSeconds = s->duration * timeBase;
        else if (format->duration > 0)
            declaredSeconds = format->duration / double(AV_TIME_BASE);
        return QString();
    }

    // An I420 copy of a frame in any other layout, in the same matrix and range.
    FrameRef toI420(AVFrame const* in, QString* why)
    {
        const AVPixelFormat from = AVPixelFormat(in->format);
        scale = sws_getCachedContext(scale, in->width, in->height, from, in->width, in->height, AV_PIX_FMT_YUV420P,
                                     SWS_BILINEAR, nullptr, nullptr, nullptr);
        FrameRef out(av_frame_alloc());
        if (!scale || !out) {
            *why = QStringLiteral("cannot convert %1 pictures").arg(QString::fromLatin1(av_get_pix_fmt_name(from)));
            return nullptr;
        }
        av_frame_copy_props(out.get(), in);
        out->format = AV_PIX_FMT_YUV420P;
        out->width = in->width;
        out->height = in->height;
        AVPixFmtDescriptor const* d = av_pix_fmt_desc_get(from);
        const bool yuv = d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
        const int full = yuv && isFullRange(in);
        const int* matrix = sws_getCoefficients(yuv && isBt709(in) ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(scale, matrix, full, matrix, full, 0, 1 << 16, 1 << 16);
        out->color_range = full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        out->colorspace = yuv && isBt709(in) ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        if (av_frame_get_buffer(out.get(), 0) < 0
            || sws_scale(scale, in->data, in->linesize, 0, in->height, out->data, out->linesize) != in->height) {
            *why = QStringLiteral("cannot convert %1 pictures").arg(QString::fromLatin1(av_get_pix_fmt_name(from)));
            return nullptr;
        }
        return out;
    }

    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scale = nullptr;
    int stream = -1;
    double timeBase = 0;
    double frameSeconds = 0.04;
    double declaredSeconds = 0;  // 0: the file does not say
};

VideoSource::VideoSource(QString const& path)
    : mPath(path)
    , mThread((av_log_set_level(AV_LOG_FATAL), [this] { decode(); }))  // the host reports failures itself
{
}

VideoSource::~VideoSource()
{
    {
        std::lock_guard<std::mutex> hold(mLock);
        mStop = true;
    }
    mChanged.notify_all();
    mThread.join();
}

bool VideoSource::stopping() const
{
    std::lock_guard<std::mutex> hold(mLock);
    return mStop;
}

void VideoSource::fail(QString const& why)
{
    {
        std::lock_guard<std::mutex> hold(mLock);
        if (mStop)
            return;
        mFailed = true;
        mFailure = why;
    }
    mChanged.notify_all();
    std::fprintf(stderr, "multiview: %s: %s; its tile shows no signal\n", qPrintable(mPath), qPrintable(why));
}

bool VideoSource::deliver(FrameRef frame, double seconds)
{
    std::unique_lock<std::mutex> hold(mLock);
    mChanged.wait(hold, [this] { return mStop || int(mQueue.size()) < kQueueDepth; });
    if (mStop)
        return false;
    mQueue.push_back({std::move(frame), seconds});
    hold.unlock();
    mChanged.notify_all();
    return true;
}

void VideoSource::decode()
{
    Decoder d;
    QString why = d.open(mPath);
    if (!why.isEmpty())
        return fail(why);

    FrameRef decoded(av_frame_alloc());
    double loopStart = 0;          // playback time at which the current pass began
    double passEnd = 0;            // end of the last frame of this pass, in file time
    double firstTime = -1;         // the first frame's timestamp in the file
    double lastTime = -1;
    int passFrames = 0;
    bool draining = false;
    while (!stopping()) {
        int r = 0;
        if (!draining) {
            r = av_read_frame(d.format, d.packet);
            if (r == AVERROR_EOF) {
                draining = true;
                r = avcodec_send_packet(d.codec, nullptr);
            } else if (r < 0) {
                return fail(QStringLiteral("read error: %1").arg(errorText(r)));
            } else if (d.packet->stream_index != d.stream) {
                av_packet_unref(d.packet);
                continue;
            } else {
                r = avcodec_send_packet(d.codec, d.packet);
                av_packet_unref(d.packet);
            }
            if (r < 0 && r != AVERROR(EAGAIN))
                return fail(QStringLiteral("decode error: %1").arg(errorText(r)));
        }
        while ((r = avcodec_receive_frame(d.codec, decoded.get())) >= 0) {
            const int64_t stamp = decoded->best_effort_timestamp;
            double t = stamp == AV_NOPTS_VALUE ? lastTime + d.frameSeconds : stamp * d.timeBase;
            if (firstTime < 0)
                firstTime = t;
            t = std::max(t - firstTime, lastTime < 0 ? 0.0 : lastTime + 1e-6);
            lastTime = t;
            passEnd = std::max(passEnd, t + d.frameSeconds);
            ++passFrames;
            FrameRef frame;
            if (isDirect(decoded.get())) {
                frame.reset(av_frame_clone(decoded.get()));
            } else if (!(frame = d.toI420(decoded.get(), &why))) {
                return fail(why);
            }
            av_frame_unref(decoded.get());
            if (!frame)
                return fail(QStringLiteral("out of memory"));
            if (!deliver(std::move(frame), loopStart + t))
                return;
        }
        if (r == AVERROR(EAGAIN) && !draining)
            continue;
        if (r != AVERROR_EOF && r != AVERROR(EAGAIN))
            return fail(QStringLiteral("decode error: %1").arg(errorText(r)));

        // The end of one pass: a file that stops well before the length it
        // declares was cut short.
        if (passFrames == 0)
            return fail(QStringLiteral("no picture could be decoded"));
        const double slack = 3 * d.frameSeconds + 0.05 * d.declaredSeconds;
        if (d.declaredSeconds > 0 && passEnd + slack < d.declaredSeconds)
            return fail(QStringLiteral("the stream ends after %1 s of the %2 s it declares")
                            .arg(passEnd, 0, 'f', 2)
                            .arg(d.declaredSeconds, 0, 'f', 2));
        if ((r = av_seek_frame(d.format, d.stream, d.format->streams[d.stream]->start_time == AV_NOPTS_VALUE
                                                       ? 0 : d.format->streams[d.stream]->start_time,
                               AVSEEK_FLAG_BACKWARD)) < 0)
            return fail(QStringLiteral("cannot seek back to loop: %1").arg(errorText(r)));
        avcodec_flush_buffers(d.codec);
        loopStart += passEnd;
        passEnd = 0;
        lastTime = -1;
        passFrames = 0;
        draining = false;
    }
}

FrameRef VideoSource::takeDue(double seconds, bool wait)
{
    std::unique_lock<std::mutex> hold(mLock);
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    FrameRef newest;
    for (;;) {
        bool took = false;
        while (!mQueue.empty() && mQueue.front().seconds <= seconds + kDueSlack) {
            if (newest)
                ++mDropped;
            newest = std::move(mQueue.front().frame);
            mQueue.pop_front();
            took = true;
        }
        if (took)
            mChanged.notify_all();
        if (!wait || !mQueue.empty() || mFailed || mStop)
            break;
        if (mChanged.wait_until(hold, deadline) == std::cv_status::timeout)
            break;
    }
    if (newest)
        ++mShown;
    return newest;
}

void VideoSource::waitBuffered()
{
    std::unique_lock<std::mutex> hold(mLock);
    mChanged.wait_for(hold, kWaitLimit, [this] { return mFailed || mStop || int(mQueue.size()) >= kQueueDepth; });
}

bool VideoSource::failed() const
{
    std::lock_guard<std::mutex> hold(mLock);
    return mFailed && mQueue.empty();
}

QString VideoSource::failure() const
{
    std::lock_guard<std::mutex> hold(mLock);
    return mFailure;
}

int VideoSource::shown() const
{
    std::lock_guard<std::mutex> hold(mLock);
    return mShown;
}

int VideoSource::dropped() const
{
    std::lock_guard<std::mutex> hold(mLock);
    return mDropped;
}

cUniYuvFrame VideoSource::describe(AVFrame const* f)
{
    const cUniYuvFrame::Format format = f->format == AV_PIX_FMT_NV12 ? cUniYuvFrame::NV12
        : f->format == AV_PIX_FMT_YUYV422                            ? cUniYuvFrame::YUYV
        : isDirect(f)                                                ? cUniYuvFrame::I420
                                                                     : cUniYuvFrame::Invalid;
    cUniYuvFrame yuv(format, QSize(f->width, f->height), isBt709(f) ? cUniYuvFrame::BT709 : cUniYuvFrame::BT601,
                     isFullRange(f) ? cUniYuvFrame::Full : cUniYuvFrame::Limited);
    for (int i = 0; i < yuv.planeCount(); ++i)
        yuv.setPlane(i, f->data[i], f->linesize[i]);
    return yuv;
}

RgbConverter::~RgbConverter()
{
    sws_freeContext(mScale);
}

void RgbConverter::convert(AVFrame const* f)
{
    if (mPicture.size() != QSize(f->width, f->height))
        mPicture = QImage(f->width, f->height, QImage::Format_RGB32);
    // RGB32 is BGRA in memory, alpha 255, on the little-endian machines this runs on.
    mScale = sws_getCachedContext(mScale, f->width, f->height, AVPixelFormat(f->format), f->width, f->height,
                                  AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!mScale) {
        mPicture.fill(Qt::black);
        return;
    }
    const int* matrix = sws_getCoefficients(isBt709(f) ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(mScale, matrix, isFullRange(f), matrix, 1, 0, 1 << 16, 1 << 16);
    uint8_t* out[4] = {mPicture.bits(), nullptr, nullptr, nullptr};
    const int outStride[4] = {int(mPicture.bytesPerLine()), 0, 0, 0};
    sws_scale(mScale, f->data, f->linesize, 0, f->height, out, outStride);
}
