#ifndef DORURIZAR_GLFIXTURE_H
#define DORURIZAR_GLFIXTURE_H

// Shared by the GL engine tests. Every case that touches GL runs in a child
// (DTEST_CHILD) so that each gets a fresh context and fresh engine globals;
// the child reports a failed check on stderr and through its exit code.

#include <testsupport.h>

#include <dorurizar/glengine.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/uniscreen.h>

#include <QApplication>
#include <QGLWidget>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            std::fprintf(stderr, "%s:%d: CHECK(%s) failed\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                \
        }                                                                            \
    } while (0)

#define CHECK_EQ(actual, expected)                                                               \
    do {                                                                                         \
        const auto a_ = (actual);                                                                \
        const auto e_ = (expected);                                                              \
        if (!(a_ == e_)) {                                                                       \
            std::fprintf(stderr, "%s:%d: %s is %s, expected %s\n", __FILE__, __LINE__, #actual,   \
                         QTest::toString(a_), QTest::toString(e_));                              \
            return 1;                                                                            \
        }                                                                                        \
    } while (0)

// A pixel within tolerance of an expected opaque colour.
#define CHECK_PIXEL(image, x, y, expected, tolerance)                                              \
    do {                                                                                           \
        const QRgb p_ = (image).pixel((x), (y));                                                   \
        const QRgb e_ = (expected);                                                                \
        if (std::abs(qRed(p_) - qRed(e_)) > (tolerance) || std::abs(qGreen(p_) - qGreen(e_)) > (tolerance) \
            || std::abs(qBlue(p_) - qBlue(e_)) > (tolerance)) {                                    \
            std::fprintf(stderr, "%s:%d: pixel (%d, %d) is %08x, expected %08x\n", __FILE__, __LINE__, \
                         int(x), int(y), unsigned(p_), unsigned(e_));                              \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

// Runs a child case and fails the current test unless it ended normally with 0.
#define EXPECT_CHILD_PASSES(...)                                                              \
    do {                                                                                      \
        const dtest::ChildResult r_ = dtest::runChild(__VA_ARGS__);                           \
        QVERIFY2(r_.started && !r_.timedOut && !r_.crashed && r_.exitCode == 0,               \
                 qPrintable(QStringLiteral("exit %1%2%3\n%4")                                 \
                                .arg(r_.exitCode)                                             \
                                .arg(r_.timedOut ? QStringLiteral(" (timed out)") : QString()) \
                                .arg(r_.crashed ? QStringLiteral(" (crashed)") : QString())   \
                                .arg(QString::fromLocal8Bit(r_.output))));                    \
    } while (0)

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

inline QImage solid(QSize size, QRgb colour, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

#endif
