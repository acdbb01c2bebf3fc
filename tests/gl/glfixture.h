#ifndef DORURIZAR_GLFIXTURE_H
#define DORURIZAR_GLFIXTURE_H

// Shared by the GL engine tests. Every case that touches GL runs in a child
// process: most share one (GL_CHILD_CASE), each with a GL widget and engine of
// its own; those that change how the engine starts have a process each.

#include <testsupport.h>

#include <dorurizar/glengine.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>

#include <QApplication>
#include <QImage>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

// The engine's widget class: Qt 6 has only QOpenGLWidget, whose frame buffer
// Qt composes into the window on a paint that the screen's update requests.
#if QT_VERSION_MAJOR >= 6
#include <QOpenGLContext>
#include <QOpenGLWidget>
using GLWidgetBase = QOpenGLWidget;
inline bool displayOffersGL() { return QOpenGLContext().create(); }
#else
#include <QGLWidget>
using GLWidgetBase = QGLWidget;
inline bool displayOffersGL() { return QGLFormat::hasOpenGL(); }
#endif

// Counts its own repaints: Qt 5's default paintGL() clears, so a late expose
// (common on a loaded machine) wipes a presented frame, and present() then
// draws the frame again. Qt 6 repaints for every frame and keeps it.
class PresentedGLWidget : public GLWidgetBase
{
public:
#if QT_VERSION_MAJOR < 6
    using QGLWidget::setAutoBufferSwap;
#endif
    int paints = 0;

protected:
    void paintGL() override { ++paints, GLWidgetBase::paintGL(); }
};

// A shown GL widget driven by a GL engine, the current engine, with the
// screen handle sized to the widget so one GL unit is one widget pixel.
struct GLFixture {
    explicit GLFixture(QSize size = QSize(320, 240))
    {
        widget.resize(size);
        ready = dtest::showAndWait(&widget) && engine.init(&widget);
        cUniImg::switchEngine(&engine);
        screen.setWidget(&widget);
        screen.resize(widget.width(), widget.height());
    }

    // Records one screen update with draw(), presents it and returns what the
    // X server shows (the front buffer of Mesa under Xvfb reads back black).
    template <typename Draw>
    QImage present(Draw draw)
    {
        for (int attempt = 0;; ++attempt) {
            const int paintsBefore = widget.paints;
            screen.beginUpdate();
            draw();
            screen.endUpdate();
            const QImage shot = dtest::grabWidget(&widget);  // handles pending events first
            if (widget.paints == paintsBefore || attempt == 4 || QT_VERSION_MAJOR >= 6)
                return shot;
        }
    }

    cGLEngine::cUniData* data(cUniImg& image) { return cGLEngine::toUniData(image); }

    PresentedGLWidget widget;
    cGLEngine engine;
    cUniScreen screen;
    bool ready = false;
};

// Opens a case that runs in the shared child process, with a ready fixture f
// of the given type.
#define GL_CHILD_CASE(Fixture, f, ...) DTEST_IN_SHARED_CHILD(); Fixture f{__VA_ARGS__}; QVERIFY(f.ready)

// One update of an off-screen image, drawn by draw().
template <typename Draw>
void record(cUniImg& image, Draw draw)
{
    image.beginUpdate();
    draw();
    image.endUpdate();
}

// An off-screen image of the given size filled with one opaque colour.
inline void fillImage(cUniImg& image, QSize size, QRgb colour)
{
    image.resize(size);
    record(image, [&] { image.fillRect(image.rect(), QColor(colour)); });
}

inline QImage solid(QSize size, QRgb colour, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

struct GLPixel { int x, y; QRgb colour; };

// The pixels of image that differ from the expected ones by more than
// tolerance on some channel, described. Blending and filtering round, so only
// those results are compared with a tolerance.
inline QByteArray glWrongPixels(QImage const& image, int tolerance, std::initializer_list<GLPixel> expected)
{
    QByteArray wrong;
    for (GLPixel const& e : expected) {
        const QRgb p = image.pixel(e.x, e.y);
        if (std::abs(qRed(p) - qRed(e.colour)) > tolerance || std::abs(qGreen(p) - qGreen(e.colour)) > tolerance
            || std::abs(qBlue(p) - qBlue(e.colour)) > tolerance || qAlpha(p) != qAlpha(e.colour))
            wrong += QByteArray::number(e.x) + "," + QByteArray::number(e.y) + " is " + QByteArray::number(p, 16)
                + " not " + QByteArray::number(e.colour, 16) + "; ";
    }
    return wrong;
}

// GL_COMPARE_PIXELS(image, tolerance, {x, y, colour}, ...)
#define GL_COMPARE_PIXELS(image, tolerance, ...) \
    QVERIFY2(glWrongPixels((image), (tolerance), {__VA_ARGS__}).isEmpty(), \
             glWrongPixels((image), (tolerance), {__VA_ARGS__}).constData())

#endif
