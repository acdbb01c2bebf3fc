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
    // Registers SDL_Quit to run at exit; video starts in init().
    cSDLEngine();
    // Stops SDL video and hands SDL_WINDOWID a copy of its own.
    ~cSDLEngine() override;

    // Points SDL video at w's native window and starts it; false for a null
    // widget, when SDL video does not start, or on a display that is not
    // 4 bytes per pixel.
    bool init(QWidget* w) override;

    // Refuses an unsized handle. The screen starts cleared to opaque black.
    bool beginUpdate(cUniImg* img) override;
    // Shows the screen with SDL_Flip; false when the flip fails.
    bool endUpdate(cUniImg* img) override;
    // An update is open, SDL video runs and the current image has a surface.
    bool isActive() override;
    // Ends img's update if it is open and frees its surface; SDL keeps the
    // screen's video surface alive itself.
    void destroyData(cUniImg* img) override;
    // Keeps the surface (and its pixels) while the size is unchanged. The
    // screen's surface always takes its widget's size.
    void resize(cUniImg* img, QSize const& size) override;

    // Copies sourceRect of image into target through stretchSurface,
    // blending by the image's alpha when it has any.
    void drawImage(QRect const& target, QImage const& image, QRect const& sourceRect) override;
    // The same from source's surface, always blending by its alpha.
    void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect) override;
    // Converts sourceRect of the frame, scaled, into target of the surface,
    // inside its clip rectangle as SDL's blits are; opaque. Nothing unless
    // source.canDraw(sourceRect), nor on a surface whose pixels are not
    // 32-bit ARGB or ABGR.
    void drawImage(QRect const& target, cUniYuvFrame const& source, QRect const& sourceRect) override;
    // Stores the colour, alpha included; no blending.
    void fillRect(QRect const& rect, QColor const& color) override;
    // Stores the colour on rect's border pixels, as fillRect does.
    void drawRect(QRect const& rect, QColor const& color) override;
    // Writes the gradient's pixels, alpha included; no blending.
    void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2) override;
    // Blits glyph cells 4 x border larger than their boxes, each starting
    // box width + border after the one before.
    void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font) override;

    // The rectangle's fields cut to SDL_Rect's 16-bit widths, unchecked: kept
    // for hosts that make SDL calls of their own on the engine's surfaces.
    // Drawing does not use it; it clips to the target surface before it
    // converts, so that no field wraps.
    SDL_Rect toSDL_Rect(QRect const& r);
    // A handle's data as its surface (a cast; null stays null).
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
