// Drawing with rectangles from anywhere in the int range on each engine's
// canvas: the Qt and SDL engines' off-screen images of any size, the GL
// engine's screen. Against a reference: nothing outside the part of the
// target on the canvas changes; fills and outlines cover exactly their part,
// and gradients follow the pixel rule, exactly. Video frames come in every
// layout, valid or not, each plane in a block of its own that ends with its
// last byte, so that a read past a plane shows under the sanitizer.

#include "centregradient_p.h"
#include "glfixture.h"
#include "sdlfixture.h"

#include <atlasfile.h>

#include <dorurizar/qtengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniyuvframe.h>

#include <QTemporaryDir>

#include <climits>
#include <cstdint>
#include <vector>

namespace {

const QSize kScreen(40, 30);
const QRgb kGround = 0xff204060;

// The input read front to back; past its end every byte is 0.
struct Input {
    const uint8_t *at, *end;

    uint8_t byte() { return at < end ? *at++ : 0; }
    // An end of the int range, the canvas and around it, or any int.
    int edge()
    {
        const int kind = byte() % 4;
        uint32_t any = 0;
        for (int i = 0; i < 4; ++i)
            any = any << 8 | byte();
        const int near[4] = {INT_MIN + int(any % 3), INT_MAX - int(any % 3), int(any % 100) - 30, int(any)};
        return near[kind];
    }
    QRect rect()
    {
        const int l = edge(), t = edge(), r = edge(), b = edge();
        return QRect(QPoint(l, t), QPoint(r, b));
    }
    QColor opaque()
    {
        const int red = byte(), green = byte();
        return QColor(red, green, byte());
    }
};

// What lives as long as the process: the display, the engines, a label font.
struct Stage {
    int argc = 1;
    char name[13] = "fuzz_drawing", *argv[2] = {name, nullptr};
    QApplication app{argc, argv};
    QTemporaryDir cache;
    SdlFixture sdl;
    GLFixture gl{kScreen};  // shown last, over SDL's window: the X server shows what GL presents
    cQTEngine qt;
    cUniFontMap* font = nullptr;

    Stage()
    {
        const auto atlas = atlasfile::makeSynthetic([](int b) { return b % 5 + 1; }, 4, 2, 0xffffff00, 0xff0000ff);
        cFontInfo::makeCacheBasePath(cache.path());
        if (!gl.ready || !sdl.ready || !atlasfile::writeAtlas(cache.path(), "L_9_0_2_0_0", atlas.image, atlas.boxes))
            qFatal("fuzz_drawing: no GL, SDL or font");
        font = new cUniFontMap(cFontInfo("L_9_0_2_0_0"));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Stage& stage = *new Stage;
    Input in{data, data + std::min<size_t>(size, 512)};
    const int engine = in.byte() % 3, op = in.byte() % 7;  // engines: Qt, GL, SDL
    const QSize canvasSize = engine == 1 ? kScreen : QSize(1 + in.byte() % 48, 1 + in.byte() % 32);
    const QRect rect = in.rect(), source = in.rect();
    const QColor c1 = in.opaque(), c2 = in.opaque();
    const QImage::Format formats[4] = {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_Indexed8,
                                       QImage::Format_RGB16};
    QImage picture(1 + in.byte() % 7, 1 + in.byte() % 7, formats[in.byte() % 4]);
    if (picture.format() == QImage::Format_Indexed8)
        picture.setColorTable({c1.rgb(), c2.rgb()});  // shorter than the indices may reach
    for (int i = 0; i < picture.sizeInBytes(); ++i)
        picture.bits()[i] = in.byte();
    const int flags = in.byte();
    QString text;
    for (int n = in.byte() % 8; n > 0; --n)
        text += QChar(in.byte());
    cUniYuvFrame frame(cUniYuvFrame::Format(in.byte() % 4), QSize(1 + in.byte() % 9, 1 + in.byte() % 9),
                       cUniYuvFrame::Matrix(in.byte() % 2), cUniYuvFrame::Range(in.byte() % 2));
    std::vector<uint8_t> planes[3];
    for (int i = 0; i < frame.planeCount(); ++i) {
        const int stride = frame.rowBytes(i) + in.byte() % 4;
        planes[i].resize(size_t((frame.rowCount(i) - 1) * stride + frame.rowBytes(i)));
        for (uint8_t& b : planes[i])
            b = in.byte();
        frame.setPlane(i, planes[i].data(), stride);
    }
    const QRect frameSource = in.byte() % 2 ? frame.rect() : source;

    cDorUrizar* engines[3] = {&stage.qt, &stage.gl.engine, &stage.sdl.engine};
    cUniImg tile(engines[engine]);
    tile.resize(1 + c1.red() % 3, 1 + c2.red() % 3);
    record(tile, [&] { tile.fillRect(tile.rect(), c2); });
    const auto draw = [&](cUniImg& on) {
        on.fillRect(on.rect(), QColor(kGround));
        op == 0   ? on.fillRect(rect, c1)
        : op == 1 ? on.drawRect(rect, c1)
        : op == 2 ? on.drawGradient(rect, c1, c2)
        : op == 3 ? on.drawImage(rect, picture, source)
        : op == 4 ? on.drawImage(rect, tile, source)
        : op == 5 ? on.drawText(rect, flags, text, *stage.font)
                  : on.drawImage(rect, frame, frameSource);
    };
    QImage drawn;
    if (engine == 1) {
        // A frame before leaves a picture's texture for this frame's items to
        // take up; the next input starts from an empty list again.
        record(stage.gl.screen, [&] { stage.gl.screen.drawImage(QRect(0, 0, 4, 4), picture, picture.rect()); });
        drawn = stage.gl.present([&] { draw(stage.gl.screen); });
        stage.gl.engine.destroyData(&stage.gl.screen);
    } else {
        cUniImg canvas(engines[engine]);
        canvas.resize(canvasSize);
        record(canvas, [&] { draw(canvas); });
        drawn = engine == 0 ? stage.qt.QImagefromUniImage(&canvas) : surfaceImage(stage.sdl.surface(canvas));
    }

    // The reference. The part of rect on the canvas, by plain clamping, of
    // rect normalized: an invalid rect fills or outlines there as each
    // engine's painter makes of it, or not at all.
    QImage want(canvasSize, QImage::Format_ARGB32);
    want.fill(kGround);
    const bool valid = rect.isValid();
    const int l = qMax(qMin(rect.left(), rect.right()), 0), t = qMax(qMin(rect.top(), rect.bottom()), 0);
    const int r = qMin(qMax(rect.left(), rect.right()), canvasSize.width() - 1);
    const int b = qMin(qMax(rect.top(), rect.bottom()), canvasSize.height() - 1);
    const QRect part = l <= r && t <= b ? QRect(QPoint(l, t), QPoint(r, b)) : QRect();
    if (op == 2)
        writeCentreGradient(want.bits(), want.bytesPerLine(), want.size(), rect, c1.rgb(), c2.rgb());
    for (int y = part.top(); op < 2 && valid && y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            if (op == 0 || x == rect.left() || x == rect.right() || y == rect.top() || y == rect.bottom())
                want.setPixel(x, y, c1.rgb());
    // Exact: gradients, and fills and outlines of valid rects; elsewhere only
    // the part may change. But the Qt engine draws a picture at its own size
    // into an invalid target, and text goes where its rect places it (GL
    // places it by an invalid rect too). A video frame draws nothing into
    // an invalid target on any engine.
    const bool exact = op == 2 || (op < 2 && valid);
    const bool anywhere = op == 5 ? valid || engine == 1 : (op == 3 || op == 4) && !valid && engine == 0;
    for (int y = 0; y < canvasSize.height() && !anywhere; ++y)
        for (int x = 0; x < canvasSize.width(); ++x)
            if ((exact || !part.contains(x, y)) && drawn.pixel(x, y) != want.pixel(x, y))
                qFatal("engine %d, operation %d, rect (%d, %d)-(%d, %d) on %d x %d: (%d, %d) is %08x, not %08x",
                       engine, op, rect.left(), rect.top(), rect.right(), rect.bottom(), canvasSize.width(),
                       canvasSize.height(), x, y, drawn.pixel(x, y), want.pixel(x, y));
    return 0;
}
