// The same small scenes drawn by every engine. Each row shows, side by side,
// the pixels the Qt, GL and SDL engines must give, so where the engines
// differ on purpose (blending off-screen, sampling, text measure, keeping
// pixels between updates) the table shows how.

#include "glfixture.h"
#include "sdlfixture.h"

#include <atlasfile.h>
#include <testsupport.h>
#include <yuvbars.h>

#include <dorurizar/qtengine.h>
#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

#include <sys/mman.h>
#include <unistd.h>

namespace {

const QSize kCanvas(12, 5);
const QRect kWhole(QPoint(0, 0), kCanvas);
const QRect kRange(QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX, INT_MAX));  // the widest a QRect reaches
const QRgb kYellow = 0xffffff00, kBlue = 0xff0000ff;

// The letters of the expected pixels; '.' is a pixel never drawn (0).
const QHash<char, QRgb> kPalette = {
    {'k', 0xff000000}, {'r', 0xffff0000}, {'g', 0xff00ff00}, {'b', 0xff0000ff}, {'y', 0xffffff00}, {'w', 0xffffffff},
    {'h', 0x800000ff}, {'H', 0xff000080},  // half blue, stored and blended over black
    {'o', 0x80ffffff}, {'O', 0xff808080},  // half white, stored and blended over black
    {'m', 0xff800000}, {'M', 0xff7f0000},  // half red blended over black, rounded up and down
    {'G', 0x0000ff00}, {'p', 0xffff7f7f},  // transparent green stored; the red to white blend
    {'R', 0xffbf4000}, {'Q', 0xff40bf00}, {'U', 0xff0040bf}};  // 3/4 of one colour, 1/4 of the next

using Update = std::function<void(std::function<void()> const&)>;

// What a scene draws on: the canvas of the engine under test, the label font
// and a way to run one update of the canvas.
struct Stage {
    cUniImg& canvas;
    cUniFontMap const& font;
    Update update;

    // One update that grounds the canvas black, then draws.
    template <typename Draw> void frame(Draw draw) { update([&] { canvas.fillRect(kWhole, Qt::black); draw(); }); }
};
using Scene = void (*)(Stage&);

QImage picture(int w, int h, std::initializer_list<QRgb> pixels)
{
    QImage image(w, h, QImage::Format_ARGB32);  // 32-bit rows need no padding
    std::copy(pixels.begin(), pixels.end(), reinterpret_cast<QRgb*>(image.bits()));
    return image;
}

cFontInfo labelInfo()
{
    return cFontInfo(QStringLiteral("Scene"), 10, -1, 1, QColor(Qt::yellow), QColor(Qt::blue), false);
}

// One update of an off-screen canvas; ok turns false when an end of it is refused.
Update offscreen(cUniImg& canvas, bool& ok)
{
    return [&canvas, &ok](std::function<void()> const& draw) {
        ok &= canvas.beginUpdate();
        draw();
        ok &= canvas.endUpdate();
    };
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance && qAbs(qAlpha(a) - qAlpha(b)) <= tolerance;
}

// Video frames: colour bars over black, drawn on a canvas grounded kGround.
const QSize kVideoCanvas(80, 30);
const QRgb kGround = 0xff203040;
using Spoil = void (*)(cUniYuvFrame&, QRect&);  // makes a frame or source rect one to refuse

// Each plane of a frame copied to the end of a mapping of its own, its last
// row's last byte just before a page that cannot be read.
struct GuardedFrame {
    cUniYuvFrame frame;
    std::vector<std::pair<uchar*, size_t>> maps;

    explicit GuardedFrame(cUniYuvFrame const& f)
        : frame(f)
    {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        for (int i = 0; i < f.planeCount(); ++i) {
            const size_t bytes = size_t(f.mStrides[i]) * size_t(f.rowCount(i) - 1) + size_t(f.rowBytes(i));
            const size_t length = (bytes + page - 1) / page * page + page;
            void* m = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            uchar* end = static_cast<uchar*>(m) + length - page;
            mprotect(end, page, PROT_NONE);
            frame.setPlane(i, static_cast<uchar*>(std::memcpy(end - bytes, f.mPlanes[i], bytes)), f.mStrides[i]);
            maps.emplace_back(static_cast<uchar*>(m), length);
        }
    }
    ~GuardedFrame()
    {
        for (auto const& m : maps)
            munmap(m.first, m.second);
    }
};

// Makes the rows from split (even) down black, so that vertical placement shows.
void blackBelow(dtest::YuvBars& b, int split)
{
    cUniYuvFrame const& f = b.frame;
    const uchar black = f.mRange == cUniYuvFrame::Full ? 0 : 16;
    for (int i = 0; i < f.planeCount(); ++i)
        for (int r = i == 0 || f.mFormat == cUniYuvFrame::YUYV ? split : split / 2; r < f.rowCount(i); ++r)
            for (int x = 0; x < f.rowBytes(i); ++x)
                b.bytes[int(f.mPlanes[i] - b.bytes.constData()) + r * f.mStrides[i] + x] =
                    i == 0 && (f.mFormat != cUniYuvFrame::YUYV || x % 2 == 0) ? black : 128;
    for (int r = split; r < b.reference.height(); ++r)
        std::fill_n(reinterpret_cast<QRgb*>(b.reference.scanLine(r)), b.reference.width(), 0xff000000);
}

// Why got does not show src of reference scaled into target, with outside
// everywhere else; empty when it does. A pixel is checked where the source
// is one colour as far as a filter reaches from the point it samples.
QString videoMismatch(QImage const& got, QImage const& reference, QRect const& src, QRect const& target, QRgb outside)
{
    QString bad;
    // A refused frame's source rect may reach across the int range: no target, no widths.
    const bool drawn = !target.isEmpty();
    const int rx = drawn ? 2 + src.width() / std::max(1, target.width()) : 0;
    const int ry = drawn ? 2 + src.height() / std::max(1, target.height()) : 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            QRgb want = outside;
            if (target.contains(x, y)) {
                const int sx = int(src.x() + (x - target.x() + 0.5) * src.width() / target.width());
                const int sy = int(src.y() + (y - target.y() + 0.5) * src.height() / target.height());
                want = reference.pixel(sx, sy);
                bool plain = true;
                for (int j = sy - ry; j <= sy + ry; ++j)
                    for (int i = sx - rx; i <= sx + rx; ++i)
                        plain &= reference.pixel(qBound(0, i, reference.width() - 1),
                                                 qBound(0, j, reference.height() - 1)) == want;
                if (!plain)
                    continue;
            }
            if (!near(got.pixel(x, y), want, 2))
                bad += QString::asprintf("(%d, %d) is %08x, expected %08x\n", x, y, got.pixel(x, y), want);
        }
    return bad;
}

} // namespace

Q_DECLARE_METATYPE(Scene)
Q_DECLARE_METATYPE(Spoil)

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
    void videoQt_data() { videoTable(); }
    void videoQt();
    void videoSdl_data() { videoTable(); }
    void videoSdl();

private:
    void table();
    void run(int column, cUniImg& canvas, Update const& update, std::function<QImage()> const& drawn);
    void videoTable();
    void runVideo(cUniImg& canvas, Update const& update, std::function<QImage()> const& drawn, QRgb cleared);

    QTemporaryDir mCache;
};

void tst_Scenes::initTestCase()
{
    // 'a' is 2 pixels wide, 'b' 3, both 3 high, with a one-pixel blue ring.
    auto atlas = atlasfile::makeSynthetic([](int b) { return b == 'a' ? 2 : b == 'b' ? 3 : 0; }, 3, 1, kYellow, kBlue);
    QVERIFY(atlasfile::writeAtlas(mCache.path(), labelInfo().mName, atlas.image, atlas.boxes));
    cFontInfo::makeCacheBasePath(mCache.path());
}

// Each scene gives the canvas rows, left to right and top to bottom, as the
// Qt, GL and SDL engines leave them; one string when all three agree.
void tst_Scenes::table()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<QStringList>("pixels");
    QTest::addColumn<int>("glTolerance");  // for GL's linear filtering of scaled pictures
    auto row = [](char const* name, Scene scene, QStringList const& pixels, int glTolerance = 0) {
        QTest::newRow(name) << scene << pixels << glTolerance;
    };

    row("opaque fill", [](Stage& s) { s.update([&] {
        s.canvas.fillRect(QRect(1, 1, 4, 2), Qt::red);
        s.canvas.fillRect(QRect(3, 2, 4, 2), Qt::green);
        s.canvas.fillRect(QRect(9, 3, 10, 10), Qt::blue);
    }); }, {"............ .rrrr....... .rrgggg..... ...gggg..bbb .........bbb",
            "kkkkkkkkkkkk krrrrkkkkkkk krrggggkkkkk kkkggggkkbbb kkkkkkkkkbbb",
            "............ .rrrr....... .rrgggg..... ...gggg..bbb .........bbb"});
    // Off-screen the Qt and SDL engines store the colour; GL blends it.
    row("half-transparent fill", [](Stage& s) { s.frame([&] {
        s.canvas.fillRect(QRect(1, 1, 4, 3), QColor(0, 0, 255, 128));
        s.canvas.fillRect(QRect(6, 1, 4, 3), Qt::red);
        s.canvas.fillRect(QRect(7, 2, 2, 2), QColor(0, 255, 0, 0));
    }); }, {"kkkkkkkkkkkk khhhhkrrrrkk khhhhkr..rkk khhhhkr..rkk kkkkkkkkkkkk",
            "kkkkkkkkkkkk kHHHHkrrrrkk kHHHHkrrrrkk kHHHHkrrrrkk kkkkkkkkkkkk",
            "kkkkkkkkkkkk khhhhkrrrrkk khhhhkrGGrkk khhhhkrGGrkk kkkkkkkkkkkk"});
    // Regression: the Qt engine's outline of a single pixel drew nothing.
    row("outline", [](Stage& s) { s.frame([&] {
        s.canvas.drawRect(QRect(1, 1, 5, 4), QColor(255, 255, 255, 128));
        s.canvas.drawRect(QRect(8, 1, 2, 2), Qt::red);
        s.canvas.drawRect(QRect(11, 4, 1, 1), Qt::green);
    }); }, {"kkkkkkkkkkkk kOOOOOkkrrkk kOkkkOkkrrkk kOkkkOkkkkkk kOOOOOkkkkkg",
            "kkkkkkkkkkkk kOOOOOkkrrkk kOkkkOkkrrkk kOkkkOkkkkkk kOOOOOkkkkkg",
            "kkkkkkkkkkkk koooookkrrkk kokkkokkrrkk kokkkokkkkkk koooookkkkkg"});
    row("gradient 4x4", [](Stage& s) {
        s.frame([&] { s.canvas.drawGradient(QRect(1, 1, 4, 4), Qt::red, Qt::white); });
    }, {"kkkkkkkkkkkk krrrrkkkkkkk krprpkkkkkkk krrrrkkkkkkk krprpkkkkkkk"});
    // Qt and SDL take the nearest source pixel, each by its own rule; GL
    // filters linearly, and its textures repeat, so edges mix in the far side.
    row("picture 1:1 and scaled", [](Stage& s) {
        const QImage p = picture(3, 2, {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffff00, 0xffffffff, 0x80ff0000});
        const QImage two = picture(2, 1, {0xffff0000, 0xff00ff00});
        const QImage three = picture(3, 1, {0xffff0000, 0xff00ff00, 0xff0000ff});
        s.frame([&] {
            s.canvas.drawImage(QRect(1, 1, 3, 2), p, p.rect());
            s.canvas.drawImage(QRect(1, 4, 2, 1), p, QRect(1, 1, 2, 1));
            s.canvas.drawImage(QRect(5, 1, 4, 2), two, two.rect());
            s.canvas.drawImage(QRect(10, 1, 2, 1), three, three.rect());
        });
    }, {"kkkkkkkkkkkk krgbkrrggkrb kywmkrrggkkk kkkkkkkkkkkk kwmkkkkkkkkk",
        "kkkkkkkkkkkk krgbkRRQQkRU kywmkRRQQkkk kkkkkkkkkkkk kwmkkkkkkkkk",
        "kkkkkkkkkkkk krgbkrrggkgb kywMkrrggkkk kkkkkkkkkkkk kwMkkkkkkkkk"}, 2);
    // GL always shows the whole source handle.
    row("handle as source", [](Stage& s) {
        cUniImg tile;
        tile.resize(2, 1);
        tile.beginUpdate();
        tile.fillRect(QRect(0, 0, 1, 1), Qt::red);
        tile.fillRect(QRect(1, 0, 1, 1), Qt::green);
        tile.endUpdate();
        s.frame([&] {
            s.canvas.drawImage(QRect(1, 1, 4, 2), tile);
            s.canvas.drawImage(QRect(7, 1, 2, 2), tile, QRect(0, 0, 1, 1));
        });
    }, {"kkkkkkkkkkkk krrggkkrrkkk krrggkkrrkkk kkkkkkkkkkkk kkkkkkkkkkkk",
        "kkkkkkkkkkkk krrggkkrgkkk krrggkkrgkkk kkkkkkkkkkkk kkkkkkkkkkkk",
        "kkkkkkkkkkkk krrggkkrrkkk krrggkkrrkkk kkkkkkkkkkkk kkkkkkkkkkkk"});
    // Drawing while no update is open does nothing. Qt starts every update
    // from clear pixels, SDL keeps them, GL rebuilds the image's list.
    row("idle, then an update drawing nothing", [](Stage& s) {
        const QImage p = picture(1, 1, {0xffffffff});
        s.update([&] { s.canvas.fillRect(kWhole, Qt::red); });
        s.canvas.fillRect(kWhole, Qt::green);
        s.canvas.drawRect(kWhole, Qt::green);
        s.canvas.drawGradient(kWhole, Qt::green, Qt::green);
        s.canvas.drawImage(kWhole, p, p.rect());
        s.canvas.drawText(kWhole, 0, QStringLiteral("ab"), s.font);
        s.update([] {});
    }, {"............ ............ ............ ............ ............",
        "kkkkkkkkkkkk kkkkkkkkkkkk kkkkkkkkkkkk kkkkkkkkkkkk kkkkkkkkkkkk",
        "rrrrrrrrrrrr rrrrrrrrrrrr rrrrrrrrrrrr rrrrrrrrrrrr rrrrrrrrrrrr"});
    // Qt advances by the glyph width, GL and SDL by glyph width + border. A
    // font map without an atlas draws nothing; a one-pixel-wide rect still
    // shows its label's first column.
    row("label", [](Stage& s) { s.frame([&] {
        s.canvas.drawText(QRect(1, 1, 10, 3), 0, QStringLiteral("ab"), s.font);
        s.canvas.drawText(QRect(9, 0, 3, 5), 0, QStringLiteral("ab"), cUniFontMap());
        s.canvas.drawText(QRect(11, 0, 1, 5), 0, QStringLiteral("ab"), s.font);
    }); }, {"kkkkkkkkkkky kyyyyybkkkky kyyyyybkkkky kyyyyybkkkkb kbbbbbbkkkkk",
            "kkkkkkkkkkky kyybyyybkkky kyybyyybkkky kyybyyybkkkb kbbbbbbbkkkk",
            "kkkkkkkkkkky kyybyyybkkky kyybyyybkkky kyybyyybkkkb kbbbbbbbkkkk"});
    // Qt measures "ab" 5 wide, GL and SDL 7.
    row("label right and bottom in a rect from the bottom of the range", [](Stage& s) { s.frame([&] {
        s.canvas.drawText(QRect(QPoint(INT_MIN, INT_MIN), QPoint(10, 4)), Qt::AlignRight | Qt::AlignBottom,
                          QStringLiteral("ab"), s.font);
    }); }, {"kkkkkkkkkkkk kkkkkyyyyybk kkkkkyyyyybk kkkkkyyyyybk kkkkkbbbbbbk",
            "kkkkkkkkkkkk kkkyybyyybkk kkkyybyyybkk kkkyybyyybkk kkkbbbbbbbkk",
            "kkkkkkkkkkkk kkkyybyyybkk kkkyybyyybkk kkkyybyyybkk kkkbbbbbbbkk"});
    // Regressions: edges at the ends of the int range overflowed widths and edges one past them.
    row("outlines from the ends of the range", [](Stage& s) { s.frame([&] {
        s.canvas.drawRect(kRange, Qt::red);
        s.canvas.drawRect(QRect(QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX - 2, 4)), Qt::blue);
        s.canvas.drawRect(QRect(QPoint(INT_MIN, INT_MIN), QPoint(11, INT_MAX - 2)), Qt::blue);
        s.canvas.drawRect(QRect(QPoint(INT_MIN, 1), QPoint(3, 3)), Qt::green);
    }); }, {"kkkkkkkkkkkb ggggkkkkkkkb kkkgkkkkkkkb ggggkkkkkkkb bbbbbbbbbbbb"});
    row("fills at the corners of the range", [](Stage& s) { s.frame([&] {
        s.canvas.fillRect(QRect(QPoint(INT_MIN, INT_MIN), QPoint(2, 1)), Qt::red);
        s.canvas.fillRect(QRect(QPoint(9, 3), QPoint(INT_MAX, INT_MAX)), Qt::green);
    }); }, {"rrrkkkkkkkkk rrrkkkkkkkkk kkkkkkkkkkkk kkkkkkkkkggg kkkkkkkkkggg"});
    row("gradient and picture spanning the range", [](Stage& s) { s.frame([&] {
        const QImage white = picture(1, 1, {0xffffffff});
        s.canvas.drawGradient(kRange, Qt::red, Qt::white);
        s.canvas.drawImage(QRect(QPoint(INT_MIN, 3), QPoint(INT_MAX, INT_MAX)), white, white.rect());
    }); }, {"rrrrrrrrrrrr rwrwrwrwrwrw rrrrrrrrrrrr wwwwwwwwwwww wwwwwwwwwwww"});
    row("handle into a rect from the bottom of the range", [](Stage& s) {
        cUniImg tile;
        tile.resize(3, 2);
        tile.beginUpdate();
        tile.fillRect(tile.rect(), Qt::red);
        tile.endUpdate();
        s.frame([&] { s.canvas.drawImage(QRect(QPoint(INT_MIN + 1, 0), QPoint(5, 4)), tile); });
    }, {"rrrrrrkkkkkk rrrrrrkkkkkk rrrrrrkkkkkk rrrrrrkkkkkk rrrrrrkkkkkk"});
    row("label whose last cell ends at the corner of the range", [](Stage& s) { s.frame([&] {
        s.canvas.drawText(QRect(QPoint(INT_MAX - 12, INT_MAX - 12), QPoint(INT_MAX - 2, INT_MAX - 2)),
                          Qt::AlignRight | Qt::AlignBottom, QStringLiteral("ab"), s.font);
    }); }, {"kkkkkkkkkkkk kkkkkkkkkkkk kkkkkkkkkkkk kkkkkkkkkkkk kkkkkkkkkkkk"});
}

// Draws the current row's scene on canvas and compares what drawn() then
// gives with the row's column for this engine.
void tst_Scenes::run(int column, cUniImg& canvas, Update const& update, std::function<QImage()> const& drawn)
{
    QFETCH(Scene, scene);
    QFETCH(QStringList, pixels);
    QFETCH(int, glTolerance);
    const cUniFontMap font(labelInfo());
    Stage stage{canvas, font, update};
    scene(stage);
    QVERIFY(!canvas.currentEngine()->isActive());
    const QImage got = drawn();
    const QStringList rows = pixels.value(column, pixels.first()).split(' ');
    QString bad;
    for (int y = 0; y < kCanvas.height(); ++y)
        for (int x = 0; x < kCanvas.width(); ++x) {
            const QRgb want = kPalette.value(rows[y][x].toLatin1(), 0);
            if (!near(got.pixel(x, y), want, column == 1 ? glTolerance : 0))
                bad += QString::asprintf("(%d, %d) is %08x, expected %08x\n", x, y, got.pixel(x, y), want);
        }
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
}

void tst_Scenes::qt()
{
    cQTEngine engine;
    cUniImg::switchEngine(&engine);
    cUniImg canvas;
    canvas.resize(kCanvas);
    bool updated = true;
    run(0, canvas, offscreen(canvas, updated), [&] { return engine.QImagefromUniImage(&canvas); });
    QVERIFY(updated);
}

void tst_Scenes::gl()
{
    if (!displayOffersGL())
        QSKIP("this display offers no OpenGL");
    DTEST_IN_SHARED_CHILD();
    GLFixture f(QSize(20, 6));  // GL once left its viewport's middle row and column uncovered: both on the canvas
    QVERIFY(f.ready);
    QImage shot;
    run(1, f.screen, [&](std::function<void()> const& draw) { shot = f.present(draw); }, [&] { return shot; });
}

void tst_Scenes::sdl()
{
    DTEST_IN_SHARED_CHILD();
    SdlCanvas f(kCanvas);
    QVERIFY(f.ready);
    cUniImg::switchEngine(&f.engine);
    bool updated = true;
    run(2, f.img, offscreen(f.img, updated), [&] { return f.pixels(); });
    QVERIFY(updated);
}

// Every layout, matrix and range of colour bars 1:1, then each layout through
// odd sizes, padded strides, odd crops, scaling both ways and clipping, and
// frames each engine must refuse. Each plane ends just before a page that
// cannot be read, so a read past a plane ends the process.
void tst_Scenes::videoTable()
{
    dtest::addFrameColumns();
    QTest::addColumn<Spoil>("spoil");
    const char* formats[] = {"", "I420", "NV12", "YUYV"};
    for (int f = cUniYuvFrame::I420; f <= cUniYuvFrame::YUYV; ++f)
        for (int m = 0; m < 4; ++m)
            QTest::addRow("%s %s %s", formats[f], m & 1 ? "BT709" : "BT601", m & 2 ? "full" : "limited")
                << f << (m & 1) << (m >> 1) << QSize(64, 16) << 0 << QRect(0, 0, 64, 16) << QRect(8, 7, 64, 16)
                << Spoil(nullptr);
    struct Geometry {
        char const* name;
        QSize size;
        QRect source, target;
    };
    const Geometry geometries[] = {
        {"odd size", QSize(67, 19), QRect(0, 0, 67, 19), QRect(5, 5, 67, 19)},
        {"crop at odd x and y", QSize(64, 20), QRect(5, 3, 41, 13), QRect(3, 2, 41, 13)},
        {"scaled up", QSize(30, 12), QRect(1, 1, 27, 9), QRect(1, 1, 78, 27)},
        {"scaled down", QSize(160, 48), QRect(0, 0, 160, 48), QRect(4, 4, 64, 19)},
        {"narrower than a vector block", QSize(128, 20), QRect(0, 0, 32, 20), QRect(3, 2, 12, 20)},
        {"clipped on every side", QSize(64, 20), QRect(0, 0, 64, 20), QRect(-30, -9, 128, 40)},
        {"blown up far past the canvas", QSize(64, 20), QRect(0, 0, 64, 20), QRect(-175000, -60000, 400000, 200000)},
    };
    int n = 0;
    for (Geometry const& g : geometries)
        for (int f = cUniYuvFrame::I420; f <= cUniYuvFrame::YUYV; ++f, ++n)
            QTest::addRow("%s %s", formats[f], g.name) << f << n % 2 << n / 2 % 2 << g.size << 5 << g.source
                                                       << g.target << Spoil(nullptr);
    const std::pair<char const*, Spoil> spoils[] = {
        {"no last plane", [](cUniYuvFrame& f, QRect&) { f.mPlanes[f.planeCount() - 1] = nullptr; }},
        {"stride below the row", [](cUniYuvFrame& f, QRect&) { f.mStrides[0] = f.rowBytes(0) - 1; }},
        {"zero width", [](cUniYuvFrame& f, QRect&) { f.mSize.setWidth(0); }},
        {"negative height", [](cUniYuvFrame& f, QRect&) { f.mSize.setHeight(-4); }},
        {"too wide", [](cUniYuvFrame& f, QRect&) { f.mSize.setWidth(cUniYuvFrame::kMaxSide + 2); }},
        {"no format", [](cUniYuvFrame& f, QRect&) { f.mFormat = cUniYuvFrame::Invalid; }},
        {"source reaching outside", [](cUniYuvFrame&, QRect& r) { r.translate(1, 0); }},
        // Regression: QRect::contains() took this one in, its width overflowed.
        {"source across the int range", [](cUniYuvFrame&, QRect& r) { r.setCoords(INT_MIN + 1, 0, 1 << 25, 3); }},
        {"empty source", [](cUniYuvFrame&, QRect& r) { r.setWidth(0); }},
    };
    for (auto const& spoil : spoils)
        for (int f = cUniYuvFrame::I420; f <= cUniYuvFrame::YUYV; ++f)
            QTest::addRow("%s %s refused", formats[f], spoil.first) << f << 0 << 0 << QSize(64, 16) << 2
                                                                    << QRect(0, 0, 64, 16) << QRect(8, 7, 64, 16)
                                                                    << spoil.second;
}

// Grounds the canvas in one update, then draws the row's frame in the next,
// in which pixels not drawn must be cleared.
void tst_Scenes::runVideo(cUniImg& canvas, Update const& update, std::function<QImage()> const& drawn, QRgb cleared)
{
    QFETCH(int, format);
    QFETCH(int, matrix);
    QFETCH(int, range);
    QFETCH(QSize, size);
    QFETCH(int, padding);
    QFETCH(QRect, source);
    QFETCH(QRect, target);
    QFETCH(Spoil, spoil);
    dtest::YuvBars bars = dtest::yuvBars(cUniYuvFrame::Format(format), size, cUniYuvFrame::Matrix(matrix),
                                         cUniYuvFrame::Range(range), padding);
    blackBelow(bars, size.height() / 2 & ~1);
    GuardedFrame guarded(bars.frame);
    if (spoil)
        spoil(guarded.frame, source);
    update([&] { canvas.fillRect(canvas.rect(), QColor::fromRgba(kGround)); });
    update([&] { canvas.drawImage(target, guarded.frame, source); });
    const QString bad = videoMismatch(drawn(), bars.reference, source, spoil ? QRect() : target, cleared);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
}

void tst_Scenes::videoQt()
{
    DTEST_IN_SHARED_CHILD();
    cQTEngine engine;
    cUniImg::switchEngine(&engine);
    cUniImg canvas;
    canvas.resize(kVideoCanvas);
    bool updated = true;
    runVideo(canvas, offscreen(canvas, updated), [&] { return engine.QImagefromUniImage(&canvas); }, 0);
    QVERIFY(updated);
}

void tst_Scenes::videoSdl()
{
    DTEST_IN_SHARED_CHILD();
    SdlCanvas f(kVideoCanvas);
    QVERIFY(f.ready);
    cUniImg::switchEngine(&f.engine);
    bool updated = true;
    runVideo(f.img, offscreen(f.img, updated), [&] { return f.pixels(); }, kGround);
    QVERIFY(updated);
}

DTEST_MAIN(tst_Scenes)
#include "tst_scenes.moc"
