#include "soakhost.h"

#include <dorurizar/qtengine.h>
#ifdef DORURIZAR_HAS_GL
#include "baregl.h"
#include <dorurizar/glengine.h>
#if QT_VERSION_MAJOR >= 6
#include <QOpenGLWidget>
#else
#include <QGLWidget>
#endif
#endif
#ifdef DORURIZAR_HAS_SDL
#include <dorurizar/sdlengine.h>
#endif

#include <benchfixtures.h>

#include <QWidget>

#include <utility>

namespace soak {

namespace {

const QSize kSizes[2] = {{960, 600}, {800, 500}};
const QPoint kPlaces[2] = {{0, 0}, {320, 400}};

// A window that hands its paint events to the host.
template <typename Base>
class PaintWidget : public Base
{
public:
    template <typename... Args>
    explicit PaintWidget(Args... args) : Base(args...) {}
    std::function<void()> mPainted;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (mPainted)
            mPainted();
    }
};

// Qt lets the engine paint a widget only inside its paint event: a frame is
// a repaint of the screen's current widget.
class QtHost : public SoakHost
{
public:
    QtHost() : SoakHost(new PaintWidget<QWidget>, new PaintWidget<QWidget>)
    {
        for (int i = 0; i < 2; ++i) {
            QWidget* w = widget(i);
            static_cast<PaintWidget<QWidget>*>(w)->mPainted = [this, w] {
                if (mPending >= 0 && w == mScreen.widget())
                    paint(std::exchange(mPending, -1));
            };
        }
    }

    void requestFrame(int n) override
    {
        mPending = n;
        mScreen.update();
    }

protected:
    bool startEngine() override
    {
        mEngine = std::make_unique<cQTEngine>();
        return mEngine->init(widget(0)) && mEngine->init(widget(1));
    }

private:
    int mPending = -1;
};

#ifdef DORURIZAR_HAS_GL
#if QT_VERSION_MAJOR >= 6
// A paint composes the frame buffer the engine or the bare loop last drew
// into; the application shares one context group, so the second window can
// show the first one's textures.
using GLBase = QOpenGLWidget;
using GLWindow = QOpenGLWidget;
QWidget* secondGLWindow(GLBase*) { return new GLWindow; }
// Qt composes the frame buffer on the window's next paint.
void presentBare(GLBase& w) { w.update(); }
#else
// Its paint events draw nothing (Qt's default would clear the frame): the
// engine presents at the screen's endUpdate. The second window shares the
// first one's context.
using GLBase = QGLWidget;
using GLWindow = PaintWidget<QGLWidget>;
QWidget* secondGLWindow(GLBase* first) { return new GLWindow(nullptr, first); }
void presentBare(GLBase& w) { w.swapBuffers(); }
#endif

// Either window can show the textures the engine made; the engine presents
// in the window it started on.
class GLHost : public SoakHost
{
public:
    GLHost() : SoakHost(new GLWindow, nullptr) { mWidgets[1].reset(secondGLWindow(gl())); }

    void requestFrame(int n) override { paint(n); }

    long liveTextures() override
    {
        gl()->makeCurrent();
        return countTextureNames();
    }

protected:
    GLBase* gl() const { return static_cast<GLBase*>(widget(0)); }

    bool startEngine() override
    {
#if QT_VERSION_MAJOR >= 6
        if (!gl()->isValid())
            gl()->grabFramebuffer();  // a widget Qt has not painted yet has no context
#endif
        if (gl()->isValid())
            return startOn(*gl());
        fail(QStringLiteral("no OpenGL context on this display"));
        return false;
    }

    virtual bool startOn(GLBase& window)
    {
        mEngine = std::make_unique<cGLEngine>();
        return mEngine->init(&window);
    }
};

// The GL host's windows and frames with no engine: the wall's uploads and
// quads made straight to GL.
class BareGLHost : public GLHost
{
protected:
    bool startOn(GLBase& window) override
    {
        window.makeCurrent();
        mBare = std::make_unique<BareGLWall>();
        return true;
    }

    void draw(int n) override
    {
        gl()->makeCurrent();
        mBare->frame(mScreen.size(), n);
        presentBare(*gl());
    }

private:
    std::unique_ptr<BareGLWall> mBare;
};
#endif

#ifdef DORURIZAR_HAS_SDL
// SDL draws into the first window through its own X connection; the second
// window only lends the screen its size.
class SDLWindow : public QWidget
{
public:
    SDLWindow()
    {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {}
};

class SDLHost : public SoakHost
{
public:
    SDLHost() : SoakHost(new SDLWindow, new SDLWindow) {}

    void requestFrame(int n) override { paint(n); }

protected:
    bool startEngine() override
    {
        mEngine = std::make_unique<cSDLEngine>();
        if (mEngine->init(widget(0)))
            return true;
        fail(QStringLiteral("SDL video did not start in the window (it needs 32 bits per pixel)"));
        return false;
    }
};
#endif

} // namespace

SoakHost::SoakHost(QWidget* first, QWidget* second)
    : mWidgets{std::unique_ptr<QWidget>(first), std::unique_ptr<QWidget>(second)}
{
}

SoakHost::~SoakHost() = default;

QStringList SoakHost::engines()
{
    QStringList list{QStringLiteral("qt")};
#ifdef DORURIZAR_HAS_GL
    list << QStringLiteral("gl");
#endif
#ifdef DORURIZAR_HAS_SDL
    list << QStringLiteral("sdl");
#endif
#ifdef DORURIZAR_HAS_GL
    list << QStringLiteral("gl-bare");
#endif
    return list;
}

std::unique_ptr<SoakHost> SoakHost::create(QString const& engine)
{
    if (engine == QLatin1String("qt"))
        return std::make_unique<QtHost>();
#ifdef DORURIZAR_HAS_GL
    if (engine == QLatin1String("gl"))
        return std::make_unique<GLHost>();
    if (engine == QLatin1String("gl-bare"))
        return std::make_unique<BareGLHost>();
#endif
#ifdef DORURIZAR_HAS_SDL
    if (engine == QLatin1String("sdl"))
        return std::make_unique<SDLHost>();
#endif
    return nullptr;
}

bool SoakHost::start()
{
    for (int i = 0; i < 2; ++i) {
        mWidgets[i]->setWindowTitle(QStringLiteral("soak %1").arg(i + 1));
        mWidgets[i]->setFixedSize(kSizes[i]);
        mWidgets[i]->move(kPlaces[i]);
        if (!dbench::showExposed(*mWidgets[i])) {
            fail(QStringLiteral("a window was never shown"));
            return false;
        }
    }
    if (!startEngine()) {
        if (mFailure.isEmpty())
            fail(QStringLiteral("the engine refused the window"));
        mEngine.reset();
        return false;
    }
    if (mEngine)
        cUniImg::switchEngine(mEngine.get());
    mScreen.setWidget(widget(0));
    if (mEngine)
        mWall = std::make_unique<SoakWall>();
    return true;
}

void SoakHost::swapWidget()
{
    mCurrent = 1 - mCurrent;
    mScreen.setWidget(widget(mCurrent));
}

void SoakHost::draw(int n)
{
    mWall->frame(mScreen, n);
}

void SoakHost::paint(int n)
{
    if (mScreen.size() != mScreen.widget()->size())
        mScreen.resize(mScreen.widget()->size());
    draw(n);
    if (mDone)
        mDone(n);
}

} // namespace soak
