#ifndef DORURIZAR_GLFIXTURE_H
#define DORURIZAR_GLFIXTURE_H

// Shared by the GL engine tests. Every case that touches GL opens with
// DTEST_IN_CHILD, so that each gets a fresh context and fresh engine globals.

#include <testsupport.h>

#include <dorurizar/glengine.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>

#include <QApplication>
#include <QGLWidget>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <cstring>

// The screen widget of the tests. It counts its own repaints: Qt 5's
// default paintGL() clears, so a late expose (common on a loaded machine)
// wipes a presented frame, and present() then draws the frame again.
class PresentedGLWidget : public QGLWidget
{
public:
    int paints = 0;

protected:
    void paintGL() override
    {
        ++paints;
        QGLWidget::paintGL();
    }
};

// A shown QGLWidget driven by a GL engine, the current engine, with the
// screen handle sized to the widget so one GL unit is one widget pixel.
struct GLFixture {
    explicit GLFixture(QSize size = QSize(320, 240))
    {
        widget.resize(size);
        shown = dtest::showAndWait(&widget);
        ready = shown && engine.init(&widget);
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
            if (widget.paints == paintsBefore || attempt == 4)
                return shot;
        }
    }

    cGLEngine::cUniData* data(cUniImg& image) { return cGLEngine::toUniData(image); }

    PresentedGLWidget widget;
    cGLEngine engine;
    cUniScreen screen;
    bool shown = false;
    bool ready = false;
};

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

// Why pixel (x, y) of image is not within tolerance of expected on every
// channel; empty when it is. GL's filtering and blending round, so blended
// pixels are compared with a tolerance.
inline QByteArray glPixelMismatch(QImage const& image, int x, int y, QRgb expected, int tolerance)
{
    const QRgb p = image.pixel(x, y);
    if (std::abs(qRed(p) - qRed(expected)) <= tolerance && std::abs(qGreen(p) - qGreen(expected)) <= tolerance
        && std::abs(qBlue(p) - qBlue(expected)) <= tolerance && std::abs(qAlpha(p) - qAlpha(expected)) <= tolerance)
        return QByteArray();
    return QByteArray("pixel (") + QByteArray::number(x) + ", " + QByteArray::number(y) + ") is "
        + QByteArray::number(p, 16) + ", expected " + QByteArray::number(expected, 16) + " within "
        + QByteArray::number(tolerance);
}

#define GL_COMPARE_PIXEL(image, x, y, expected, tolerance)                                  \
    do {                                                                                    \
        const QByteArray mismatch_ = glPixelMismatch((image), (x), (y), (expected), (tolerance)); \
        QVERIFY2(mismatch_.isEmpty(), mismatch_.constData());                               \
    } while (0)

inline QImage solid(QSize size, QRgb colour, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

#endif
