#ifndef DORURIZAR_SDLFIXTURE_H
#define DORURIZAR_SDLFIXTURE_H

// Shared by the SDL engine tests. SDL video runs in one widget of a process at
// a time: every case that needs it runs in a child process (most in the shared
// one, SDL_CHILD_CASE) and builds an SdlFixture there, whose engine gives the
// video back when it ends.

#include <testsupport.h>

#include <dorurizar/sdlengine.h>
#include <dorurizar/uniimg.h>

#include <QColor>
#include <QImage>
#include <QTest>
#include <QWidget>

#include <SDL/SDL.h>

// A shown top-level widget with the engine's SDL video running inside it.
struct SdlFixture {
    explicit SdlFixture(QSize size = QSize(320, 240))
    {
        widget.resize(size);
        dtest::showAndWait(&widget);
        ready = engine.init(&widget);
    }

    SDL_Surface* surface(cUniImg& img) { return engine.surfaceFromData(img.mData); }

    QWidget widget;
    cSDLEngine engine;
    bool ready = false;
};

// A copy of a 32-bit surface's pixels.
inline QImage surfaceImage(SDL_Surface* s)
{
    if (!s || s->format->BytesPerPixel != 4)
        return QImage();
    SDL_LockSurface(s);
    const QImage out = QImage(static_cast<uchar*>(s->pixels), s->w, s->h, s->pitch, QImage::Format_ARGB32).copy();
    SDL_UnlockSurface(s);
    return out;
}

inline unsigned pixelAt(SDL_Surface* s, int x, int y)
{
    return reinterpret_cast<Uint32*>(static_cast<uchar*>(s->pixels) + y * s->pitch)[x];
}

// Opens a case that runs in the shared child process, with a ready fixture f
// of the given type.
#define SDL_CHILD_CASE(Fixture, f, ...) DTEST_IN_SHARED_CHILD(); Fixture f{__VA_ARGS__}; QVERIFY(f.ready)

// An SdlFixture with one image of its engine, sized but not yet updating.
struct SdlCanvas : SdlFixture {
    explicit SdlCanvas(QSize imageSize, QSize widgetSize = QSize(320, 240))
        : SdlFixture(widgetSize)
        , img(&engine)
    {
        img.resize(imageSize);
    }

    bool begin() { return img.beginUpdate(); }
    void clear(QColor const& colour = QColor(0, 0, 0, 0)) { img.fillRect(img.rect(), colour); }
    QImage pixels() { return surfaceImage(surface(img)); }
    unsigned pixel(int x, int y) { return pixelAt(surface(img), x, y); }
    int count(unsigned value) { return dtest::countPixels(pixels(), value); }

    cUniImg img;
};

#endif
