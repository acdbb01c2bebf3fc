#ifndef DORURIZAR_GLWIDGET_P_H
#define DORURIZAR_GLWIDGET_P_H

// Not installed: the one place where the GL engine differs between Qt majors,
// the widget it shows through. Qt 5 has QGLWidget, which presents by swapping
// its window's buffers; Qt 6 has only QOpenGLWidget, which renders into a
// frame buffer object that Qt composes into the window on its next paint.

#include <QtGlobal>

#if QT_VERSION_MAJOR >= 6
#include <QOpenGLContext>
#include <QOpenGLWidget>
#else
#include <QGLWidget>
#endif

#include <GL/gl.h>
#include <GL/glext.h>

namespace GLEngineNS {

#if QT_VERSION_MAJOR >= 6

using Widget = QOpenGLWidget;

inline bool isCurrent(Widget* w)
{
    return QOpenGLContext::currentContext() == w->context();
}

// A widget not painted yet has no context: a grab creates it. The frame
// buffer keeps what the engine drew until Qt composes it (the default update
// behaviour may discard it first). False without a context.
inline bool prepare(Widget* w)
{
    if (!w->isValid())
        w->grabFramebuffer();
    if (!w->isValid())
        return false;
    w->setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    w->makeCurrent();
    return true;
}

// Every frame goes into the widget's own frame buffer object.
inline void beginFrame(Widget* w)
{
    w->makeCurrent();
    glBindFramebuffer(GL_FRAMEBUFFER, w->defaultFramebufferObject());
}

// Qt composes the frame buffer on the widget's next paint; there is no
// buffer swap for a host to take over.
inline void present(Widget* w)
{
    glFlush();
    w->update();
    w->doneCurrent();
}

#else

using Widget = QGLWidget;

inline bool isCurrent(Widget* w)
{
    return QGLContext::currentContext() == w->context();
}

// updateGL() leaves the context current only for a shown widget.
inline bool prepare(Widget* w)
{
    w->updateGL();
    if (!isCurrent(w))
        w->makeCurrent();
    return true;
}

inline void beginFrame(Widget* w)
{
    if (!isCurrent(w))
        w->makeCurrent();
}

// QGLWidget keeps autoBufferSwap() protected; a pointer to the member
// taken through a subclass reads it for any widget.
struct SwapSetting : QGLWidget {
    using QGLWidget::autoBufferSwap;
};

// updateGL() would run paintGL() first, and Qt 5's default paintGL() clears
// the frame just drawn; present it the way updateGL() does once paintGL()
// has run. A host that turned automatic swapping off swaps itself.
inline void present(Widget* w)
{
    if (!w->updatesEnabled() || !w->testAttribute(Qt::WA_Mapped))
        return;
    bool (QGLWidget::*autoBufferSwap)() const = &SwapSetting::autoBufferSwap;
    if (!w->doubleBuffer())
        glFlush();
    else if ((w->*autoBufferSwap)())
        w->swapBuffers();
}

#endif

} // namespace GLEngineNS

#endif
