// makeclip [--seconds S] [--fps N] [--size WxH] [--codec NAME] [--pixel-format NAME] OUT
//
// Encodes a short sample clip for the multiview host: colour bars, a white
// bar sweeping left to right and back (from 64 pixels down), and the frame
// number as a row of 12 black and white 32-pixel blocks in the top left
// corner (bit 0 leftmost), so that every frame differs from the next where
// the bar moves and a reader can tell which frame it sees. The container follows OUT's extension (.mkv, .avi,
// .mp4, ...). Defaults: 2 s, 25 fps, 704x576, mpeg4 in the codec's first
// pixel format.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int kBlocks = 12;
const int kBlock = 32;  // a counter block's side, pixels
const int kBarWidth = 48;

// Colour bars in limited-range BT.601 Y'CbCr: white, yellow, cyan, green,
// magenta, red, blue, black at 75 %.
const unsigned char kBars[8][3] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                                   {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};

struct Settings {
    double seconds = 2;
    int fps = 25;
    int width = 704, height = 576;
    std::string codec = "mpeg4";
    std::string pixelFormat;
    std::string out;
};

std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int fail(std::string const& message)
{
    std::fprintf(stderr, "makeclip: %s\n", message.c_str());
    return 1;
}

bool readInt(char const* text, int low, int high, int* out)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end || value < low || value > high)
        return false;
    *out = int(value);
    return true;
}

// The settings, or an empty `out` with `why` set.
Settings parse(int argc, char** argv, std::string* why)
{
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        char const* value = hasValue ? argv[i + 1] : "";
        if (arg == "--seconds" && hasValue) {
            char* end = nullptr;
            s.seconds = std::strtod(value, &end);
            if (end == value || *end || !(s.seconds > 0 && s.seconds <= 600))
                return *why = "--seconds wants a duration from 0 to 600", Settings{};
        } else if (arg == "--fps" && hasValue) {
            if (!readInt(value, 1, 120, &s.fps))
                return *why = "--fps wants a whole number from 1 to 120", Settings{};
        } else if (arg == "--size" && hasValue) {
            const char* x = std::strchr(value, 'x');
            const std::string w(value, x ? size_t(x - value) : 0);
            if (!x || !readInt(w.c_str(), 2 * kBlock, 4096, &s.width) || !readInt(x + 1, kBlock, 4096, &s.height))
                return *why = "--size wants WxH, at least 64x32 and at most 4096x4096", Settings{};
        } else if (arg == "--codec" && hasValue) {
            s.codec = value;
        } else if (arg == "--pixel-format" && hasValue) {
            s.pixelFormat = value;
        } else if (arg.rfind("--", 0) == 0 || !s.out.empty()) {
            return *why = "unexpected argument '" + arg + "'", Settings{};
        } else {
            s.out = arg;
            continue;
        }
        ++i;
    }
    if (s.out.empty())
        *why = "usage: makeclip [--seconds S] [--fps N] [--size WxH] [--codec NAME] [--pixel-format NAME] OUT";
    return s;
}

// Frame n of the clip into a limited-range I420 frame.
void paint(AVFrame* f, int n)
{
    const int w = f->width, h = f->height;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char const* bar = kBars[x * 8 / w];
            f->data[0][y * f->linesize[0] + x] = bar[0];
            if (!(x & 1) && !(y & 1)) {
                f->data[1][y / 2 * f->linesize[1] + x / 2] = bar[1];
                f->data[2][y / 2 * f->linesize[2] + x / 2] = bar[2];
            }
        }
    }
    // The sweeping bar: white, below the counter, on even columns so that chroma stays whole.
    const int span = w - kBarWidth;
    const int step = std::max(2, span / 24) & ~1;
    const int p = (n * step) % (2 * span);
    const int left = (p < span ? p : 2 * span - p) & ~1;
    const auto fill = [f](int x0, int y0, int bw, int bh, int luma) {
        for (int y = y0; y < y0 + bh && y < f->height; ++y) {
            std::memset(f->data[0] + y * f->linesize[0] + x0, luma, size_t(std::min(bw, f->width - x0)));
            if (!(y & 1)) {
                const int cw = std::min(bw, f->width - x0) / 2;
                std::memset(f->data[1] + y / 2 * f->linesize[1] + x0 / 2, 128, size_t(cw));
                std::memset(f->data[2] + y / 2 * f->linesize[2] + x0 / 2, 128, size_t(cw));
            }
        }
    };
    fill(left, 2 * kBlock, kBarWidth, h - 2 * kBlock, 235);
    for (int b = 0; b < kBlocks && (b + 1) * kBlock <= w; ++b)
        fill(b * kBlock, 0, kBlock, kBlock, (n >> b) & 1 ? 235 : 16);
}

// Sends frame (null: the end) and writes every packet the encoder returns.
int encode(AVCodecContext* codec, AVFrame* frame, AVFormatContext* format, AVStream* stream, AVPacket* packet)
{
    int r = avcodec_send_frame(codec, frame);
    while (r >= 0) {
        r = avcodec_receive_packet(codec, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return 0;
        if (r < 0)
            break;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        r = av_interleaved_write_frame(format, packet);
    }
    return r;
}

struct Clip {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* picture = nullptr;  // I420, painted
    AVFrame* coded = nullptr;    // in the encoder's pixel format
    AVPacket* packet = av_packet_alloc();
    SwsContext* scale = nullptr;

    ~Clip()
    {
        sws_freeContext(scale);
        av_packet_free(&packet);
        av_frame_free(&coded);
        av_frame_free(&picture);
        avcodec_free_context(&codec);
        if (format && !(format->oformat->flags & AVFMT_NOFILE))
            avio_closep(&format->pb);
        avformat_free_context(format);
    }
};

int run(Settings const& s)
{
    Clip clip;
    AVCodec const* encoder = avcodec_find_encoder_by_name(s.codec.c_str());
    if (!encoder || encoder->type != AVMEDIA_TYPE_VIDEO)
        return fail("no video encoder named '" + s.codec + "' in this libavcodec");
    AVPixelFormat pixels = encoder->pix_fmts ? encoder->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    if (!s.pixelFormat.empty() && (pixels = av_get_pix_fmt(s.pixelFormat.c_str())) == AV_PIX_FMT_NONE)
        return fail("unknown pixel format '" + s.pixelFormat + "'");
    if (avformat_alloc_output_context2(&clip.format, nullptr, nullptr, s.out.c_str()) < 0)
        return fail("no container for '" + s.out + "' (name it .mkv, .avi or .mp4)");

    clip.codec = avcodec_alloc_context3(encoder);
    AVCodecContext* c = clip.codec;
    c->width = s.width;
    c->height = s.height;
    c->pix_fmt = pixels;
    c->time_base = AVRational{1, s.fps};
    c->framerate = AVRational{s.fps, 1};
    c->gop_size = s.fps;
    c->bit_rate = 8000000;
    c->thread_count = 1;
    c->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (clip.format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(c, encoder, nullptr);
    if (r < 0)
        return fail(s.codec + " does not encode " + std::to_string(s.width) + "x" + std::to_string(s.height) + " "
                    + av_get_pix_fmt_name(pixels) + ": " + errorText(r));
    AVStream* stream = avformat_new_stream(clip.format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, c) < 0)
        return fail("cannot add the video stream");
    stream->time_base = c->time_base;
    stream->avg_frame_rate = c->framerate;

    clip.picture = av_frame_alloc();
    clip.picture->format = AV_PIX_FMT_YUV420P;
    clip.picture->width = s.width;
    clip.picture->height = s.height;
    if (av_frame_get_buffer(clip.picture, 0) < 0)
        return fail("out of memory");
    AVFrame* coded = clip.picture;
    if (pixels != AV_PIX_FMT_YUV420P) {
        clip.coded = av_frame_alloc();
        clip.coded->format = pixels;
        clip.coded->width = s.width;
        clip.coded->height = s.height;
        clip.scale = sws_getContext(s.width, s.height, AV_PIX_FMT_YUV420P, s.width, s.height, pixels, SWS_POINT,
                                    nullptr, nullptr, nullptr);
        if (av_frame_get_buffer(clip.coded, 0) < 0 || !clip.scale)
            return fail(std::string("cannot convert to ") + av_get_pix_fmt_name(pixels));
        coded = clip.coded;
    }

    if (!(clip.format->oformat->flags & AVFMT_NOFILE) && (r = avio_open(&clip.format->pb, s.out.c_str(), AVIO_FLAG_WRITE)) < 0)
        return fail("cannot write " + s.out + ": " + errorText(r));
    if ((r = avformat_write_header(clip.format, nullptr)) < 0)
        return fail("cannot start " + s.out + ": " + errorText(r));
    const int frames = std::max(1, int(s.seconds * s.fps + 0.5));
    for (int n = 0; n < frames && r >= 0; ++n) {
        if ((r = av_frame_make_writable(coded)) < 0)
            break;
        paint(clip.picture, n);
        if (clip.scale)
            sws_scale(clip.scale, clip.picture->data, clip.picture->linesize, 0, s.height, coded->data,
                      coded->linesize);
        coded->pts = n;
        r = encode(c, coded, clip.format, stream, clip.packet);
    }
    if (r >= 0)
        r = encode(c, nullptr, clip.format, stream, clip.packet);
    if (r >= 0)
        r = av_write_trailer(clip.format);
    if (r < 0)
        return fail("cannot encode " + s.out + ": " + errorText(r));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string why;
    const Settings settings = parse(argc, argv, &why);
    if (!why.empty())
        return fail(why) + 1;
    return run(settings);
}
