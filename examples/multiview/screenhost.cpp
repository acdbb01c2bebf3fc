#include "screenhost.h"

#include <dorurizar/qtengine.h>
#ifdef DORURIZAR_HAS_GL
#include <dorurizar/glengine.h>
#if QT_VERSION_MAJOR >= 6
#include <QOpenGLWidget>
using GLWidgetBase = QOpenGLWidget;
#else
#include <QGLWidget>
using GLWidgetBase = QGLWidget;
#endif
#endif
#ifdef DORURIZAR_HAS_SDL
#include <dorurizar/sdlengine.h>
#endif

#include <QGuiApplication>
#include <QScreen>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>

namespace {

class QtWidget : public QWidget
{
public:
    explicit QtWidget(ScreenHost* host) : mHost(host) {}

protected:
    void paintEvent(QPaintEvent*) override { mHost->paint(); }

private:
    ScreenHost* mHost;
};

// Qt lets the engine's painter begin on the widget only inside its paint
// event, so a frame is a scheduled repaint.
class QtHost : public ScreenHost
{
public:
    QtHost() : ScreenHost(new QtWidget(this)) {}

    void requestFrame() override { mScreen.update(); }
    QString title() const override { return QStringLiteral("Qt raster engine"); }

protected:
    bool startEngine() override
    {
        mEngine.reset(new cQTEngine);
        return mEngine->init(mWidget.get());
    }
};

#ifdef DORURIZAR_HAS_GL
class GLWidget : public GLWidgetBase
{
public:
    explicit GLWidget(ScreenHost* host) : mHost(host) {}

protected:
#if QT_VERSION_MAJOR < 6
    // The engine renders and swaps at the screen's endUpdate; an expose gets
    // a fresh frame rather than whatever the back buffer holds.
    void paintEvent(QPaintEvent*) override { mHost->paint(); }
#endif
    // On Qt 6 a paint composes the frame buffer the engine last drew into,
    // and must not draw: the screen's endUpdate asks for that paint.

private:
    [[maybe_unused]] ScreenHost* mHost;
};

class GLHost : public ScreenHost
{
public:
    GLHost() : ScreenHost(new GLWidget(this)) {}

    void requestFrame() override { paint(); }
    QString title() const override { return QStringLiteral("OpenGL engine"); }

protected:
    bool startEngine() override
    {
        // Qt 5's init takes a widget without a context; Qt 6's refuses it.
        GLWidgetBase* gl = static_cast<GLWidgetBase*>(mWidget.get());
        mEngine.reset(new cGLEngine);
        if ((gl->isValid() || QT_VERSION_MAJOR >= 6) && mEngine->init(gl))
            return true;
        fail(QStringLiteral("no OpenGL context on this display"));
        return false;
    }
};
#endif

#ifdef DORURIZAR_HAS_SDL
class SDLWidget : public QWidget
{
public:
    explicit SDLWidget(ScreenHost* host) : mHost(host)
    {
        // SDL draws into this window through its own X connection.
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }

    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override { mHost->paint(); }

private:
    ScreenHost* mHost;
};

class SDLHost : public ScreenHost
{
public:
    SDLHost() : ScreenHost(new SDLWidget(this)) {}

    void requestFrame() override { paint(); }
    QString title() const override { return QStringLiteral("SDL 1.2 engine"); }

protected:
    bool startEngine() override
    {
        mEngine.reset(new cSDLEngine);
        if (mEngine->init(mWidget.get()))
            return true;
        fail(QStringLiteral("SDL video did not start in the window (it needs an X display of 32 bits per pixel)"));
        return false;
    }
};
#endif

bool waitForExposure(QWidget* w)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (w->windowHandle() && w->windowHandle()->isExposed()) {
            QCoreApplication::processEvents();
            return true;
        }
    }
    return false;
}

} // namespace

ScreenHost::ScreenHost(QWidget* widget)
    : mWidget(widget)
{
}

ScreenHost::~ScreenHost() = default;

std::unique_ptr<ScreenHost> ScreenHost::create(QString const& engine)
{
    if (engine == QLatin1String("qt"))
        return std::make_unique<QtHost>();
#ifdef DORURIZAR_HAS_GL
    if (engine == QLatin1String("gl"))
        return std::make_unique<GLHost>();
#endif
#ifdef DORURIZAR_HAS_SDL
    if (engine == QLatin1String("sdl"))
        return std::make_unique<SDLHost>();
#endif
    return nullptr;
}

bool ScreenHost::start(QSize const& size)
{
    mWidget->setWindowTitle(QStringLiteral("multiview — %1").arg(title()));
    mWidget->setFixedSize(size);
    mWidget->show();
    if (!waitForExposure(mWidget.get())) {
        fail(QStringLiteral("the window was never shown"));
        return false;
    }
    if (!startEngine()) {
        if (mFailure.isEmpty())
            fail(QStringLiteral("the engine refused the window"));
        mEngine.reset();
        return false;
    }
    cUniImg::switchEngine(mEngine.get());
    mScreen.setWidget(mWidget.get());
    return true;
}

void ScreenHost::paint()
{
    if (!mEngine || !mDraw)
        return;
    if (mScreen.size() != mWidget->size())
        mScreen.resize(mWidget->size());
    mDraw();
}

QImage ScreenHost::grab() const
{
    QWindow* window = mWidget->windowHandle();
    QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen();
    return screen->grabWindow(mWidget->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}
