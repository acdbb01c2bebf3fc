#ifndef DORURIZAR_SDLENGINE_H
#define DORURIZAR_SDLENGINE_H

#include "dorurizar.h"

#include <cstdint>

// SDL stays out of this header, so a host that never uses this engine needs no
// SDL headers. Both names match SDL's own typedef'd structs.
struct SDL_Surface;
struct SDL_Rect;

// The SDL 1.2 engine: an SDL surface (32-bit ARGB) per image handle, and SDL's
// X11 video output pointed at the screen widget's native window through
// SDL_WINDOWID. Colours go into surfaces as the raw value of QColor::rgba().
// SDL video starts once per process and SDL_Quit runs at exit.
class DORURIZAR_EXPORT cSDLEngine : public cDorUrizar
{
public:
    cSDLEngine();
    ~cSDLEngine() override;

    // Points SDL video at w's native window and starts it; false for a null
    // widget, when SDL video does not start, or on a display that is not
    // 4 bytes per pixel.
    bool init(QWidget* w) override;

    // Refuses an unsized handle. The screen starts cleared to opaque black.
    bool beginUpdate(cUniImg* img) override;
    // Shows the screen with SDL_Flip; false when the flip fails.
    bool endUpdate(cUniImg* img) override;
    bool isActive() override;
    void destroyData(cUniImg* img) override;
    // Keeps the surface (and its pixels) while the size is unchanged. The
    // screen's surface always takes its widget's size.
    void resize(cUniImg* img, QSize const& size) override;

    void drawImage(QRect const& target, QImage const& image, QRect const& sourceRect) override;
    void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect) override;
    // Stores the colour, alpha included; no blending.
    void fillRect(QRect const& rect, QColor const& color) override;
    void drawRect(QRect const& rect, QColor const& color) override;
    void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2) override;
    void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font) override;

    // The rectangle's fields cut to SDL_Rect's 16-bit widths, unchecked.
    // Drawing clips to the target surface before it converts.
    SDL_Rect toSDL_Rect(QRect const& r);
    SDL_Surface* surfaceFromData(void* data);

    // Copies srcRect of src onto dstRect of dst: one blit when the sizes match,
    // otherwise a nearest-sample stretch. alpha keeps the source's alpha for
    // blending. Only the parts inside both surfaces are read and written.
    void stretchSurface(SDL_Surface* src, QRect const& srcRect, SDL_Surface* dst, QRect const& dstRect,
                        bool alpha);

    char mWindowIdEnv[64];  // the process environment points here after init()
    std::uint32_t mSurfaceFlags;

    static std::uint32_t const mColorMask[4];  // alpha, red, green, blue
};

#endif
