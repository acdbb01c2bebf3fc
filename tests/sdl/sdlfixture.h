#ifndef DORURIZAR_SDLFIXTURE_H
#define DORURIZAR_SDLFIXTURE_H

// Shared by the SDL engine tests. SDL video starts once per process, so every
// case that needs it runs in a child (DTEST_CHILD) built on SdlFixture; the
// child reports failures on stderr and through its exit code.

#include "testsupport.h"

#include <dorurizar/sdlengine.h>
#include <dorurizar/uniimg.h>

#include <QImage>
#include <QTest>
#include <QWidget>

#include <SDL/SDL.h>

#include <cstdio>

#define CHECK(cond)                                                               \
    do {                                                                          \
        if (!(cond)) {                                                            \
            std::fprintf(stderr, "%s:%d: CHECK(%s) failed\n", __FILE__, __LINE__, \
                         #cond);                                                  \
            return 1;                                                             \
        }                                                                         \
    } while (0)

#define CHECK_EQ(actual, expected)                                                              \
    do {                                                                                        \
        const auto a_ = (actual);                                                               \
        const auto e_ = (expected);                                                             \
        if (!(a_ == e_)) {                                                                      \
            std::fprintf(stderr, "%s:%d: %s is %llx, expected %s = %llx\n", __FILE__, __LINE__, \
                         #actual, (unsigned long long)a_, #expected, (unsigned long long)e_);   \
            return 1;                                                                           \
        }                                                                                       \
    } while (0)

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
    QImage out(s->w, s->h, QImage::Format_ARGB32);
    SDL_LockSurface(s);
    for (int y = 0; y < s->h; ++y)
        memcpy(out.scanLine(y), static_cast<uchar*>(s->pixels) + y * s->pitch, size_t(s->w) * 4);
    SDL_UnlockSurface(s);
    return out;
}

inline unsigned pixelAt(SDL_Surface* s, int x, int y)
{
    return reinterpret_cast<Uint32*>(static_cast<uchar*>(s->pixels) + y * s->pitch)[x];
}

// Runs a child case and fails the calling test slot with its output when it
// does not end normally with 0.
#define RUN_CHILD(name, ...)                                                                    \
    do {                                                                                        \
        const dtest::ChildResult r_ = dtest::runChild(#name, ##__VA_ARGS__);                    \
        QVERIFY2(r_.started, "child did not start");                                            \
        QVERIFY2(!r_.timedOut, ("child timed out:\n" + r_.output).constData());                 \
        QVERIFY2(!r_.crashed, ("child crashed:\n" + r_.output).constData());                    \
        QVERIFY2(r_.exitCode == 0, ("child failed:\n" + r_.output).constData());                \
    } while (0)

#endif
