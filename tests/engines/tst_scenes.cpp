// The same small scenes drawn by every engine. Each row shows, side by side,
// the pixels the Qt, GL and SDL engines must give, so where the engines
// differ on purpose (blending off-screen, sampling, text measure, keeping
// pixels between updates) the table shows how.

#include "glfixture.h"
#include "sdlfixture.h"

#include <atlasfile.h>
#include <testsupport.h>

#include <dorurizar/qtengine.h>
#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QGLFormat>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

const QSize kCanvas(12, 6);
const QRect kWhole(QPoint(0, 0), kCanvas);

// The letters of the expected pixels.
QRgb colourOf(char c)
{
    switch (c) {
    case 'k': return 0xff000000;
    case 'r': return 0xffff0000;
    case 'g': return 0xff00ff00;
    case 'b': return 0xff0000ff;
    case 'y': return 0xffffff00;
    case 'w': return 0xffffffff;
    case 'h': return 0x800000ff;  // half blue, stored
    case 'H': return 0xff000080;  // half blue over black
    case 'G': return 0x0000ff00;  // transparent green, stored as given
    case 'o': return 0x80ffffff;  // half white, stored
    case 'O': return 0xff808080;  // half white over black
    case 'p': return 0xffff7f7f;  // the gradient's blended pixels, red to white
    case 'm': return 0xff800000;  // half red over black
    case 'M': return 0xff7f0000;
    case 'R': return 0xffbf4000;  // GL's filtered mixes: 3/4 of one colour,
    case 'Q': return 0xff40bf00;  // 1/4 of its neighbour
    case 'U': return 0xff0040bf;
    default: return 0;            // '.': never drawn
    }
}

// What a scene draws on: the canvas of the engine under test, a way to run
// one update of it, and the label font.
struct Stage {
    cUniImg& canvas;
    std::function<void(std::function<void()> const&)> update;
    cUniFontMap const& font;
};
using Scene = void (*)(Stage&);

void ground(cUniImg& c)
{
    c.fillRect(kWhole, Qt::black);
}

void opaqueFill(Stage& s)
{
    s.update([&] {
        s.canvas.fillRect(QRect(1, 1, 4, 3), Qt::red);
        s.canvas.fillRect(QRect(3, 2, 4, 3), Qt::green);
        s.canvas.fillRect(QRect(9, 4, 10, 10), Qt::blue);
    });
}

void halfFill(Stage& s)
{
    s.update([&] {
        ground(s.canvas);
        s.canvas.fillRect(QRect(1, 1, 4, 3), QColor(0, 0, 255, 128));
        s.canvas.fillRect(QRect(6, 1, 4, 3), Qt::red);
        s.canvas.fillRect(QRect(7, 2, 2, 2), QColor(0, 255, 0, 0));
    });
}

void outline(Stage& s)
{
    const QColor halfWhite(255, 255, 255, 128);
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawRect(QRect(1, 1, 5, 4), halfWhite);
        s.canvas.drawRect(QRect(8, 1, 2, 2), Qt::red);
    });
}

void gradient(Stage& s)
{
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawGradient(QRect(1, 1, 4, 4), Qt::red, Qt::white);
    });
}

QImage picture(int w, int h, std::initializer_list<QRgb> pixels)
{
    QImage image(w, h, QImage::Format_ARGB32);
    auto it = pixels.begin();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, *it++);
    return image;
}

void pictureOneToOne(Stage& s)
{
    const QImage p = picture(3, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffff00, 0xffffffff, 0x80ff0000});
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawImage(QRect(1, 1, 3, 2), p, p.rect());
        s.canvas.drawImage(QRect(6, 1, 2, 1), p, QRect(1, 1, 2, 1));
    });
}

void pictureScaled(Stage& s)
{
    const QImage two = picture(2, 1, {0xffff0000, 0xff00ff00});
    const QImage three = picture(3, 1, {0xffff0000, 0xff00ff00, 0xff0000ff});
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawImage(QRect(1, 1, 4, 2), two, two.rect());
        s.canvas.drawImage(QRect(7, 1, 2, 1), three, three.rect());
    });
}

void handleAsSource(Stage& s)
{
    cUniImg tile;
    tile.resize(2, 1);
    tile.beginUpdate();
    tile.fillRect(QRect(0, 0, 1, 1), Qt::red);
    tile.fillRect(QRect(1, 0, 1, 1), Qt::green);
    tile.endUpdate();
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawImage(QRect(1, 1, 4, 2), tile);
        s.canvas.drawImage(QRect(7, 1, 2, 2), tile, QRect(0, 0, 1, 1));
    });
}

// Drawing while no update is open does nothing.
void drawingWhileIdle(Stage& s)
{
    const QImage p = picture(1, 1, {0xffffffff});
    s.canvas.fillRect(kWhole, Qt::red);
    s.canvas.drawRect(kWhole, Qt::red);
    s.canvas.drawGradient(kWhole, Qt::red, Qt::red);
    s.canvas.drawImage(kWhole, p, p.rect());
    s.canvas.drawText(kWhole, 0, QStringLiteral("ab"), s.font);
    s.update([&] { s.canvas.fillRect(QRect(1, 1, 1, 1), Qt::green); });
}

void updateDrawingNothing(Stage& s)
{
    s.update([&] { s.canvas.fillRect(kWhole, Qt::red); });
    s.update([] {});
}

void fontWithoutAtlas(Stage& s)
{
    const cUniFontMap none;
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawText(QRect(1, 1, 10, 4), 0, QStringLiteral("ab"), none);
    });
}

void label(Stage& s)
{
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawText(QRect(1, 1, 10, 4), 0, QStringLiteral("ab"), s.font);
    });
}

void labelRightBottom(Stage& s)
{
    s.update([&] {
        ground(s.canvas);
        s.canvas.drawText(QRect(QPoint(0, 0), QPoint(10, 5)), Qt::AlignRight | Qt::AlignBottom, QStringLiteral("ab"),
                          s.font);
    });
}

// 'a' is 2 pixels wide, 'b' 3, both 3 high, with a one-pixel blue ring.
int labelWidth(int byte)
{
    return byte == 'a' ? 2 : byte == 'b' ? 3 : 0;
}

cFontInfo labelInfo()
{
    return cFontInfo(QStringLiteral("Scene"), 10, -1, 1, QColor(Qt::yellow), QColor(Qt::blue), false);
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

// Every pixel of the canvas that differs from the expected rows, with all of
// what was drawn; empty when they agree.
QByteArray mismatches(QImage const& got, QStringList const& rows, int tolerance)
{
    QString bad;
    for (int y = 0; y < kCanvas.height(); ++y)
        for (int x = 0; x < kCanvas.width(); ++x) {
            const QRgb want = colourOf(rows[y][x].toLatin1());
            if (!near(got.pixel(x, y), want, tolerance))
                bad += QString::asprintf("(%d, %d) is %08x, expected %08x\n", x, y, got.pixel(x, y), want);
        }
    if (bad.isEmpty())
        return QByteArray();
    for (int y = 0; y < kCanvas.height(); ++y) {
        for (int x = 0; x < kCanvas.width(); ++x)
            bad += QString::asprintf(" %08x", got.pixel(x, y));
        bad += '\n';
    }
    return bad.toLatin1();
}

} // namespace

Q_DECLARE_METATYPE(Scene)

class tst_Scenes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { cUniImg::mCurrentEngine = nullptr; }
    void qt_data() { table(); }
    void qt();
    void gl_data() { table(); }
    void gl();
    void sdl_data() { table(); }
    void sdl();

private:
    void table();
    void run(int column, cUniImg& canvas, std::function<void(std::function<void()> const&)> const& update,
             std::function<QImage()> const& drawn);

    QTemporaryDir mCache;
};

void tst_Scenes::initTestCase()
{
    const atlasfile::Synthetic atlas = atlasfile::makeSynthetic(&labelWidth, 3, 1, 0xffffff00, 0xff0000ff);
    QVERIFY(atlasfile::writeAtlas(mCache.path(), labelInfo().mName, atlas.image, atlas.boxes));
    cFontInfo::makeCacheBasePath(mCache.path());
}

// Each row gives the canvas as the Qt, GL and SDL engines leave it, one
// canvas row of each per line.
void tst_Scenes::table()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<QStringList>("pixels");
    QTest::addColumn<int>("glTolerance");  // GL's linear filtering of scaled pictures
    auto row = [](char const* name, Scene scene, QStringList const& pixels, int glTolerance = 0) {
        QTest::newRow(name) << scene << pixels << glTolerance;
    };
    row("opaque fill", &opaqueFill, {
        "............", "kkkkkkkkkkkk", "............",
        ".rrrr.......", "krrrrkkkkkkk", ".rrrr.......",
        ".rrgggg.....", "krrggggkkkkk", ".rrgggg.....",
        ".rrgggg.....", "krrggggkkkkk", ".rrgggg.....",
        "...gggg..bbb", "kkkggggkkbbb", "...gggg..bbb",
        ".........bbb", "kkkkkkkkkbbb", ".........bbb"});
    // Off-screen the Qt and SDL engines store the colour; GL blends it.
    row("half-transparent fill", &halfFill, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "khhhhkrrrrkk", "kHHHHkrrrrkk", "khhhhkrrrrkk",
        "khhhhkr..rkk", "kHHHHkrrrrkk", "khhhhkrGGrkk",
        "khhhhkr..rkk", "kHHHHkrrrrkk", "khhhhkrGGrkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"});
    row("outline", &outline, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kOOOOOkkrrkk", "kOOOOOkkrrkk", "koooookkrrkk",
        "kOkkkOkkrrkk", "kOkkkOkkrrkk", "kokkkokkrrkk",
        "kOkkkOkkkkkk", "kOkkkOkkkkkk", "kokkkokkkkkk",
        "kOOOOOkkkkkk", "kOOOOOkkkkkk", "koooookkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"});
    row("gradient 4x4", &gradient, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "krrrrkkkkkkk", "krrrrkkkkkkk", "krrrrkkkkkkk",
        "krprpkkkkkkk", "krprpkkkkkkk", "krprpkkkkkkk",
        "krrrrkkkkkkk", "krrrrkkkkkkk", "krrrrkkkkkkk",
        "krprpkkkkkkk", "krprpkkkkkkk", "krprpkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"});
    row("picture 1:1", &pictureOneToOne, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "krgbkkwmkkkk", "krgbkkwmkkkk", "krgbkkwMkkkk",
        "kywmkkkkkkkk", "kywmkkkkkkkk", "kywMkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"});
    // Qt and SDL sample the nearest source pixel, each by its own rule; GL
    // filters linearly, and its textures repeat, so edges mix in the far side.
    row("picture scaled", &pictureScaled, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "krrggkkrbkkk", "kRRQQkkRUkkk", "krrggkkgbkkk",
        "krrggkkkkkkk", "kRRQQkkkkkkk", "krrggkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"}, 2);
    // GL always shows the whole source handle.
    row("handle as source", &handleAsSource, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "krrggkkrrkkk", "krrggkkrgkkk", "krrggkkrrkkk",
        "krrggkkrrkkk", "krrggkkrgkkk", "krrggkkrrkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"});
    row("drawing while idle", &drawingWhileIdle, {
        "............", "kkkkkkkkkkkk", "............",
        ".g..........", "kgkkkkkkkkkk", ".g..........",
        "............", "kkkkkkkkkkkk", "............",
        "............", "kkkkkkkkkkkk", "............",
        "............", "kkkkkkkkkkkk", "............",
        "............", "kkkkkkkkkkkk", "............"});
    // Qt starts every update from clear pixels, SDL keeps them, GL rebuilds its list.
    row("update drawing nothing", &updateDrawingNothing, {
        "............", "kkkkkkkkkkkk", "rrrrrrrrrrrr",
        "............", "kkkkkkkkkkkk", "rrrrrrrrrrrr",
        "............", "kkkkkkkkkkkk", "rrrrrrrrrrrr",
        "............", "kkkkkkkkkkkk", "rrrrrrrrrrrr",
        "............", "kkkkkkkkkkkk", "rrrrrrrrrrrr",
        "............", "kkkkkkkkkkkk", "rrrrrrrrrrrr"});
    row("font without atlas", &fontWithoutAtlas, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"});
    // Qt advances by the glyph width; GL and SDL by glyph width + border.
    row("label", &label, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kyyyyybkkkkk", "kyybyyybkkkk", "kyybyyybkkkk",
        "kyyyyybkkkkk", "kyybyyybkkkk", "kyybyyybkkkk",
        "kyyyyybkkkkk", "kyybyyybkkkk", "kyybyyybkkkk",
        "kbbbbbbkkkkk", "kbbbbbbbkkkk", "kbbbbbbbkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk"});
    // Qt measures 5 x 3, GL and SDL 7 x 3.
    row("label right and bottom", &labelRightBottom, {
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkkkkkkkk", "kkkkkkkkkkkk", "kkkkkkkkkkkk",
        "kkkkkyyyyybk", "kkkyybyyybkk", "kkkyybyyybkk",
        "kkkkkyyyyybk", "kkkyybyyybkk", "kkkyybyyybkk",
        "kkkkkyyyyybk", "kkkyybyyybkk", "kkkyybyyybkk",
        "kkkkkbbbbbbk", "kkkbbbbbbbkk", "kkkbbbbbbbkk"});
}

// Draws the current row's scene with update() on canvas, and compares what
// drawn() then gives with the row's column for this engine.
void tst_Scenes::run(int column, cUniImg& canvas, std::function<void(std::function<void()> const&)> const& update,
                     std::function<QImage()> const& drawn)
{
    QFETCH(Scene, scene);
    QFETCH(QStringList, pixels);
    QFETCH(int, glTolerance);
    const cUniFontMap font(labelInfo());
    Stage stage{canvas, update, font};
    scene(stage);
    QStringList expected;
    for (int y = 0; y < kCanvas.height(); ++y)
        expected << pixels[y * 3 + column];
    const QByteArray bad = mismatches(drawn(), expected, column == 1 ? glTolerance : 0);
    QVERIFY2(bad.isEmpty(), bad.constData());
}

void tst_Scenes::qt()
{
    cQTEngine engine;
    cUniImg::switchEngine(&engine);
    cUniImg canvas;
    canvas.resize(kCanvas);
    bool updated = true;
    run(0, canvas,
        [&](std::function<void()> const& draw) {
            updated &= canvas.beginUpdate();
            draw();
            updated &= canvas.endUpdate();
        },
        [&] { return engine.QImagefromUniImage(&canvas); });
    QVERIFY(updated);
}

void tst_Scenes::gl()
{
    if (!QGLFormat::hasOpenGL())
        QSKIP("this display offers no OpenGL");
    DTEST_IN_CHILD(30000);
    GLFixture f(QSize(64, 48));
    QVERIFY(f.ready);
    QImage shot;
    run(1, f.screen, [&](std::function<void()> const& draw) { shot = f.present(draw); },
        [&] { return shot; });
}

void tst_Scenes::sdl()
{
    DTEST_IN_CHILD(30000);
    SdlCanvas f(kCanvas);
    QVERIFY(f.ready);
    cUniImg::switchEngine(&f.engine);
    bool updated = true;
    run(2, f.img,
        [&](std::function<void()> const& draw) {
            updated &= f.begin();
            draw();
            updated &= f.img.endUpdate();
        },
        [&] { return f.pixels(); });
    QVERIFY(updated);
}

DTEST_MAIN(tst_Scenes)
#include "tst_scenes.moc"
