#include "sdlengine.h"

#include "centregradient_p.h"
#include "textplacement_p.h"
#include "uniimg.h"
#include "uniscreen.h"
#include "uniyuvframe.h"
#include "yuvscaler_p.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <SDL/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <unistd.h>

std::uint32_t const cSDLEngine::mColorMask[4] = {0xff000000u, 0x00ff0000u, 0x0000ff00u, 0x000000ffu};

namespace {

char const kWindowIdName[] = "SDL_WINDOWID";

// SDL 1.2 keeps a surface's pitch in 16 bits: a wider 32-bit surface would
// get a short pitch and a buffer too small for its rows.
int const kMaxSurfaceWidth = 0xffff / 4;

bool isScreen(cUniImg* img)
{
    return dynamic_cast<cUniScreen*>(img) != nullptr;
}

bool videoRunning()
{
    return SDL_WasInit(SDL_INIT_VIDEO) != 0;
}

bool isValid(QRect const& r)
{
    return r.left() <= r.right() && r.top() <= r.bottom();
}

using UniFontMapNS::spanOf;

long long mulDivFloor(long long a, long long b, long long c)
{
    return static_cast<long long>(static_cast<__int128>(a) * b / c);
}

long long mulDivCeil(long long a, long long b, long long c)
{
    return static_cast<long long>((static_cast<__int128>(a) * b + c - 1) / c);
}

SDL_Rect sdlRect(long long x, long long y, long long w, long long h)
{
    SDL_Rect r;
    r.x = static_cast<Sint16>(x);
    r.y = static_cast<Sint16>(y);
    r.w = static_cast<Uint16>(w);
    r.h = static_cast<Uint16>(h);
    return r;
}

// Fills the part of the rectangle (x, y, w, h) that lies on the surface.
// Cutting it first keeps every field within SDL_Rect's 16 bits.
void fillVisible(SDL_Surface* s, long long x, long long y, long long w, long long h, Uint32 value)
{
    const long long left = std::max(x, 0LL);
    const long long top = std::max(y, 0LL);
    const long long right = std::min(x + w, static_cast<long long>(s->w));
    const long long bottom = std::min(y + h, static_cast<long long>(s->h));
    if (left >= right || top >= bottom)
        return;
    SDL_Rect r = sdlRect(left, top, right - left, bottom - top);
    SDL_FillRect(s, &r, value);
}

void fillVisible(SDL_Surface* s, QRect const& rect, Uint32 value)
{
    fillVisible(s, rect.left(), rect.top(), spanOf(rect.left(), rect.right()), spanOf(rect.top(), rect.bottom()),
                value);
}

// Blits the w x h block at (sx, sy) of src to (dx, dy) of dst, cut to both
// surfaces first so that the rectangles SDL sees are exact.
void blitVisible(SDL_Surface* src, long long sx, long long sy, SDL_Surface* dst, long long dx, long long dy,
                 long long w, long long h)
{
    long long cut = std::max({0LL, -sx, -dx});
    sx += cut;
    dx += cut;
    w -= cut;
    cut = std::max({0LL, -sy, -dy});
    sy += cut;
    dy += cut;
    h -= cut;
    w = std::min({w, src->w - sx, dst->w - dx});
    h = std::min({h, src->h - sy, dst->h - dy});
    if (w <= 0 || h <= 0)
        return;
    SDL_Rect from = sdlRect(sx, sy, w, h);
    SDL_Rect to = sdlRect(dx, dy, w, h);
    SDL_UpperBlit(src, &from, dst, &to);
}

// Target cells [first, last] of one axis of a scaled copy (offsets into the
// target span) that land on the target surface and take their source cell
// from inside the source surface. Target cell c takes source offset
// ceil((c + 1) * srcLen / dstLen) - 1, which never decreases with c.
bool visibleCells(long long srcStart, long long srcLen, long long srcLimit, long long dstStart, long long dstLen,
                  long long dstLimit, long long* first, long long* last)
{
    const long long lo = std::max(0LL, -srcStart);
    const long long hi = std::min(srcLen - 1, srcLimit - 1 - srcStart);
    if (lo > hi)
        return false;
    *first = std::max({mulDivFloor(lo, dstLen, srcLen), -dstStart, 0LL});
    *last = std::min({mulDivFloor(hi + 1, dstLen, srcLen) - 1, dstLimit - 1 - dstStart, dstLen - 1});
    return *first <= *last;
}

// Nearest-sample stepping along one axis by integer error, no division per
// step: each next() gives the source offset of the following target cell.
class Stepper
{
public:
    Stepper(long long from, long long srcLen, long long dstLen)
        : mWhole(srcLen / dstLen)
        , mFraction(srcLen % dstLen)
        , mDstLen(dstLen)
    {
        // The state left by target cell from - 1.
        const long long reached = mulDivCeil(from, srcLen, dstLen);
        mPos = reached - 1;
        mErr = static_cast<long long>(static_cast<__int128>(dstLen) * reached - static_cast<__int128>(from) * srcLen);
    }

    long long next()
    {
        mPos += mWhole;
        mErr -= mFraction;
        if (mErr < 0) {
            mErr += mDstLen;
            ++mPos;
        }
        return mPos;
    }

private:
    long long mWhole;
    long long mFraction;
    long long mDstLen;
    long long mPos;
    long long mErr;
};

// Writes rows of a nearest-sample copy: target row r takes source row
// top + y.next(), target column c source column columns[c]; set is or-ed
// into every value.
void stretchRows(SDL_Surface* src, int top, int const* columns, int width, Stepper y, int rows, Uint8* out,
                 int outPitch, Uint32 set)
{
    const Uint8* srcPixels = static_cast<const Uint8*>(src->pixels);
    for (int r = 0; r < rows; ++r) {
        const Uint32* row = reinterpret_cast<const Uint32*>(srcPixels + (top + y.next()) * src->pitch);
        Uint32* o = reinterpret_cast<Uint32*>(out + static_cast<long long>(r) * outPitch);
        for (int c = 0; c < width; ++c)
            o[c] = row[columns[c]] | set;
    }
}

// Wraps 32-bit ARGB image pixels without copying; SDL never writes through
// the wrapper (it is marked pre-allocated). No SDL_RLEACCEL: SDL's RLE alpha
// blits zero the target's alpha under translucent pixels and make it opaque
// under opaque ones, where plain alpha blits leave it alone; and the encoding
// would be redone for every wrapper.
SDL_Surface* wrapImage(QImage const& image, Uint32 alphaMask)
{
    if (image.bytesPerLine() > 0xffff)
        return nullptr;
    SDL_Surface* s = SDL_CreateRGBSurfaceFrom(const_cast<uchar*>(image.constBits()), image.width(), image.height(),
                                              32, image.bytesPerLine(), cSDLEngine::mColorMask[1],
                                              cSDLEngine::mColorMask[2], cSDLEngine::mColorMask[3], alphaMask);
    if (s)
        SDL_SetAlpha(s, SDL_SRCALPHA, 255);
    return s;
}

// The wrapper reads 32-bit ARGB pixels; anything else is converted first.
QImage const& argbPixels(QImage const& image, QImage& converted)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    default:
        converted = image.convertToFormat(QImage::Format_ARGB32);
        return converted;
    }
}

class SurfaceLock
{
public:
    explicit SurfaceLock(SDL_Surface* s)
        : mSurface(SDL_MUSTLOCK(s) ? s : nullptr)
        , mLocked(!mSurface || SDL_LockSurface(mSurface) == 0)
    {
    }
    ~SurfaceLock()
    {
        if (mSurface && mLocked)
            SDL_UnlockSurface(mSurface);
    }
    bool locked() const { return mLocked; }

private:
    SDL_Surface* mSurface;
    bool mLocked;
};

} // namespace

cSDLEngine::cSDLEngine()
    : mWindowIdEnv()
    , mSurfaceFlags(0)
{
    std::atexit(SDL_Quit);
}

cSDLEngine::~cSDLEngine()
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    // putenv() made this object's buffer part of the environment; hand the
    // environment its own copy before the buffer goes.
    for (char** entry = environ; entry && *entry; ++entry) {
        if (*entry == mWindowIdEnv) {
            setenv(kWindowIdName, mWindowIdEnv + sizeof kWindowIdName, 1);
            break;
        }
    }
}

bool cSDLEngine::init(QWidget* w)
{
    if (!w)
        return false;
    std::snprintf(mWindowIdEnv, sizeof mWindowIdEnv, "%s=0x%lx", kWindowIdName,
                  static_cast<unsigned long>(w->winId()));
    if (putenv(mWindowIdEnv) != 0)
        return false;
    if (setenv("SDL_VIDEODRIVER", "x11", 1) != 0)
        return false;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;

    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    if (!info || !info->vfmt)
        return false;
    mSurfaceFlags = info->hw_available ? (SDL_HWSURFACE | SDL_DOUBLEBUF | SDL_NOFRAME) : SDL_NOFRAME;
    // Colours are written as raw 32-bit values.
    if (info->vfmt->BytesPerPixel != 4)
        return false;
    return putenv(mWindowIdEnv) == 0;
}

bool cSDLEngine::isActive()
{
    return cDorUrizar::isActive() && videoRunning() && currentImage()->mData;
}

bool cSDLEngine::beginUpdate(cUniImg* img)
{
    if (!videoRunning())
        return false;
    if (!img || img->size().width() <= 0 || img->size().height() <= 0)
        return false;
    if (!cDorUrizar::beginUpdate(img))
        return false;

    if (cUniScreen* screen = dynamic_cast<cUniScreen*>(img)) {
        if (QWidget* w = screen->widget()) {
            // Qt must not paint over what SDL shows.
            w->setAttribute(Qt::WA_OpaquePaintEvent, true);
            w->setAttribute(Qt::WA_PaintOnScreen, true);
            w->setAttribute(Qt::WA_NoSystemBackground, true);
            fillRect(QRect(0, 0, w->width(), w->height()), QColor(0, 0, 0, 255));
        }
    }
    // Without a surface the update stays open but inactive.
    return img->mData != nullptr;
}

bool cSDLEngine::endUpdate(cUniImg* img)
{
    cDorUrizar::endUpdate(img);
    if (!isScreen(img) || !videoRunning())
        return true;
    if (SDL_Surface* s = surfaceFromData(img->mData))
        return SDL_Flip(s) == 0;
    return true;
}

void cSDLEngine::destroyData(cUniImg* img)
{
    if (!img)
        return;
    if (img == currentImage())
        cDorUrizar::endUpdate(img);
    // SDL ignores a free of its video surface, which the screen holds.
    if (SDL_Surface* s = surfaceFromData(img->mData)) {
        SDL_FreeSurface(s);
        img->mData = nullptr;
    }
}

void cSDLEngine::resize(cUniImg* img, QSize const& size)
{
    if (!img || !videoRunning())
        return;
    if (SDL_Surface* s = surfaceFromData(img->mData)) {
        if (s->w == size.width() && s->h == size.height())
            return;
        SDL_FreeSurface(s);
        img->mData = nullptr;
    }

    if (cUniScreen* screen = dynamic_cast<cUniScreen*>(img)) {
        QWidget* w = screen->widget();
        if (!w)
            return;
        SDL_Surface* video = SDL_SetVideoMode(w->width(), w->height(), 32, mSurfaceFlags);
        if (video)
            fillVisible(video, img->rect(), 0xff000000u);
        img->mData = video;
        return;
    }

    if (size.width() <= 0 || size.height() <= 0 || size.width() > kMaxSurfaceWidth)
        return;
    img->mData = SDL_CreateRGBSurface(mSurfaceFlags, size.width(), size.height(), 32, mColorMask[1], mColorMask[2],
                                      mColorMask[3], mColorMask[0]);
}

SDL_Rect cSDLEngine::toSDL_Rect(QRect const& r)
{
    return sdlRect(r.left(), r.top(), spanOf(r.left(), r.right()), spanOf(r.top(), r.bottom()));
}

SDL_Surface* cSDLEngine::surfaceFromData(void* data)
{
    return static_cast<SDL_Surface*>(data);
}

void cSDLEngine::stretchSurface(SDL_Surface* src, QRect const& srcRect, SDL_Surface* dst, QRect const& dstRect,
                                bool alpha)
{
    if (!src || !dst || src->w <= 0 || src->h <= 0 || !isValid(srcRect) || !isValid(dstRect))
        return;

    const long long sw = spanOf(srcRect.left(), srcRect.right());
    const long long sh = spanOf(srcRect.top(), srcRect.bottom());
    const long long dw = spanOf(dstRect.left(), dstRect.right());
    const long long dh = spanOf(dstRect.top(), dstRect.bottom());
    if (sw == dw && sh == dh) {
        blitVisible(src, srcRect.left(), srcRect.top(), dst, dstRect.left(), dstRect.top(), sw, sh);
        return;
    }

    long long c0, c1, r0, r1;
    if (!visibleCells(srcRect.left(), sw, src->w, dstRect.left(), dw, dst->w, &c0, &c1)
        || !visibleCells(srcRect.top(), sh, src->h, dstRect.top(), dh, dst->h, &r0, &r1))
        return;
    if (src->format->BytesPerPixel != 4)
        return;

    const int outW = int(c1 - c0 + 1);
    const int outH = int(r1 - r0 + 1);
    if (outW > kMaxSurfaceWidth)
        return;

    // Absolute source columns, stepped once here so the pixel loop is a gather.
    std::vector<int> columns(outW);
    Stepper x(c0, sw, dw);
    for (int c = 0; c < outW; ++c)
        columns[c] = int(srcRect.left() + x.next());
    Stepper y(r0, sh, dh);
    const long long outLeft = dstRect.left() + c0;
    const long long outTop = dstRect.top() + r0;

    // An opaque copy onto a surface of this engine's layout is written in
    // place, with the values that blitting an alpha-less stretch surface
    // would store: the target's alpha set opaque, or the raw value where the
    // target has no alpha channel.
    SDL_PixelFormat const* f = dst->format;
    const bool inPlace = !alpha && src != dst && f->BytesPerPixel == 4 && f->Rmask == mColorMask[1]
        && f->Gmask == mColorMask[2] && f->Bmask == mColorMask[3] && (f->Amask == mColorMask[0] || !f->Amask)
        && dst->clip_rect.x == 0 && dst->clip_rect.y == 0 && dst->clip_rect.w == dst->w
        && dst->clip_rect.h == dst->h;
    if (inPlace) {
        SurfaceLock dstLock(dst);
        SurfaceLock srcLock(src);
        if (dstLock.locked() && srcLock.locked())
            stretchRows(src, srcRect.top(), columns.data(), outW, y, outH,
                        static_cast<Uint8*>(dst->pixels) + outTop * dst->pitch + outLeft * 4, dst->pitch,
                        f->Amask ? mColorMask[0] : 0);
        return;
    }

    // The stretch surface lives on one buffer kept from call to call: every
    // pixel of it is written, so it needs neither a fresh allocation nor
    // clearing. Engines run in the GUI thread only.
    static std::vector<Uint32> buffer;
    if (buffer.size() < size_t(outW) * size_t(outH))
        buffer.resize(size_t(outW) * size_t(outH));
    SDL_Surface* out = SDL_CreateRGBSurfaceFrom(buffer.data(), outW, outH, 32, outW * 4, mColorMask[1],
                                                mColorMask[2], mColorMask[3], alpha ? mColorMask[0] : 0);
    if (!out)
        return;
    {
        SurfaceLock srcLock(src);
        if (srcLock.locked())
            stretchRows(src, srcRect.top(), columns.data(), outW, y, outH, static_cast<Uint8*>(out->pixels),
                        out->pitch, 0);
    }
    SDL_Rect from = sdlRect(0, 0, outW, outH);
    SDL_Rect to = sdlRect(outLeft, outTop, outW, outH);
    SDL_UpperBlit(out, &from, dst, &to);
    SDL_FreeSurface(out);
}

void cSDLEngine::drawImage(QRect const& target, QImage const& image, QRect const& sourceRect)
{
    if (!isActive() || image.width() <= 0 || image.height() <= 0 || !isValid(target) || !isValid(sourceRect))
        return;
    QImage converted;
    QImage const& pixels = argbPixels(image, converted);
    const bool alpha = image.hasAlphaChannel();
    SDL_Surface* wrapper = wrapImage(pixels, alpha ? mColorMask[0] : 0);
    if (!wrapper)
        return;
    stretchSurface(wrapper, sourceRect, surfaceFromData(currentImage()->mData), target, alpha);
    SDL_FreeSurface(wrapper);
}

void cSDLEngine::drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect)
{
    if (!isActive() || source.size().width() <= 0 || source.size().height() <= 0 || !isValid(target)
        || !isValid(sourceRect))
        return;
    SDL_Surface* from = surfaceFromData(source.mData);
    if (!from)
        return;
    stretchSurface(from, sourceRect, surfaceFromData(currentImage()->mData), target, true);
}

void cSDLEngine::drawImage(QRect const& target, cUniYuvFrame const& source, QRect const& sourceRect)
{
    if (!isActive() || !source.canDraw(sourceRect))
        return;
    SDL_Surface* s = surfaceFromData(currentImage()->mData);
    SDL_PixelFormat const* f = s->format;
    if (f->BytesPerPixel != 4 || f->Gmask != mColorMask[2])
        return;
    YuvScaler::Order order;
    if (f->Rmask == mColorMask[1] && f->Bmask == mColorMask[3])
        order = YuvScaler::Order::Argb;
    else if (f->Rmask == mColorMask[3] && f->Bmask == mColorMask[1])
        order = YuvScaler::Order::Abgr;
    else
        return;
    SurfaceLock lock(s);
    if (!lock.locked())
        return;
    SDL_Rect const& clip = s->clip_rect;
    uchar* first = static_cast<uchar*>(s->pixels) + clip.y * s->pitch + clip.x * 4;
    YuvScaler::draw(source, sourceRect, target, {first, s->pitch, QRect(clip.x, clip.y, clip.w, clip.h), order});
}

void cSDLEngine::fillRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    fillVisible(surfaceFromData(currentImage()->mData), rect, color.rgba());
}

void cSDLEngine::drawRect(QRect const& rect, QColor const& color)
{
    if (!isActive())
        return;
    SDL_Surface* s = surfaceFromData(currentImage()->mData);
    const Uint32 v = color.rgba();
    const long long w = spanOf(rect.left(), rect.right());
    const long long h = spanOf(rect.top(), rect.bottom());
    fillVisible(s, rect.left(), rect.top(), w, 1, v);
    fillVisible(s, rect.left(), rect.bottom(), w, 1, v);
    fillVisible(s, rect.left(), rect.top(), 1, h, v);
    fillVisible(s, rect.right(), rect.top(), 1, h, v);
}

void cSDLEngine::drawGradient(QRect const& rect, QColor const& c1, QColor const& c2)
{
    if (!isActive() || !isValid(rect))
        return;
    SDL_Surface* s = surfaceFromData(currentImage()->mData);
    if (s->format->BytesPerPixel != 4)
        return;

    SurfaceLock lock(s);
    if (!lock.locked())
        return;
    // Surfaces hold 0xAARRGGBB pixels (mColorMask), the layout of QRgb.
    writeCentreGradient(static_cast<uchar*>(s->pixels), s->pitch, QSize(s->w, s->h), rect, c1.rgba(), c2.rgba());
}

void cSDLEngine::drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font)
{
    QImage const& atlas = font.image();
    if (!isActive() || !isValid(rect) || text.isEmpty() || atlas.width() <= 0 || atlas.height() <= 0)
        return;
    QImage converted;
    SDL_Surface* wrapper = wrapImage(argbPixels(atlas, converted), mColorMask[0]);
    if (!wrapper)
        return;

    // A cell carries the glyph's border 4 x B past its box to the right and
    // downwards; the next glyph starts 3 x B before the cell ends and covers
    // those columns of it. Blits cut cells to both surfaces themselves.
    SDL_Surface* target = surfaceFromData(currentImage()->mData);
    const long long B = font.border();
    UniFontMapNS::placeGlyphs(rect, flags, text, font, B, [&](QRect const& box, qint64 x, qint64 y) {
        blitVisible(wrapper, box.left(), box.top(), target, x, y, spanOf(box.left(), box.right()) + 4 * B,
                    spanOf(box.top(), box.bottom()) + 4 * B);
    });
    SDL_FreeSurface(wrapper);
}
