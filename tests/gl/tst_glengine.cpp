// The GL engine's textures, display lists, frames and text, checked on the
// items it keeps and on the pixels the X server shows.

#include "glfixture.h"

#include <atlasfile.h>
#include <yuvbars.h>

#include <dorurizar/unifontmap.h>

#include <QMutex>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QVariant>

#include <GL/gl.h>

#include <climits>
#include <vector>

namespace {

const QRgb kGlyph = qRgb(255, 255, 0), kRing = qRgb(0, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0), kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255),
           kWhite = qRgb(255, 255, 255), kGrey = qRgb(128, 128, 128), kMagenta = qRgb(255, 0, 255);

QImage interlaced(int width)
{
    QImage image(width, 576, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), width, (y % 2) ? kWhite : kBlack);
    return image;
}

GLuint gTokenTexture = 0;
void* gBoundData = nullptr;
int gBoundZero = -1, gBinds = 0;

void bindTestTexture(void* data, int zero)
{
    gBoundData = data, gBoundZero = zero, ++gBinds;
    glBindTexture(GL_TEXTURE_2D, gTokenTexture);
}

QImage token(QSize size, glengine_bind bind)
{
    QImage image(size, QImage::Format_Mono);
    std::memset(image.bits(), 0, size_t(image.sizeInBytes()));
    if (image.sizeInBytes() >= qsizetype(sizeof bind))
        std::memcpy(image.bits(), &bind, sizeof bind);
    return image;
}

// 'a', 'b', 'c' are 5, 6 and 7 pixels wide; every other byte 4.
int widthOf(int byte)
{
    return byte == 'a' ? 5 : byte == 'b' ? 6 : byte == 'c' ? 7 : 4;
}

const cFontInfo kSynth(QStringLiteral("Synth"), 10, -1, 1, QColor(kGlyph), QColor(kRing), false);
const cFontInfo kHuge(QStringLiteral("Huge"), 10, -1, 1, QColor(kGlyph), QColor(kRing), false);

// The process's font cache, written before its first font lookup (the library
// scans a cache once a process): kSynth, border 1 and glyphs 8 pixels high,
// and kHuge, whose one glyph is 'x'.
bool fontCacheReady()
{
    static QTemporaryDir dir;
    static const bool ready = [] {
        const atlasfile::Synthetic synth = atlasfile::makeSynthetic(&widthOf, 8, 1, kGlyph, kRing);
        QVector<QRect> hugeBoxes(256);
        hugeBoxes['x'] = QRect(0, 0, 3, 4);
        cFontInfo::makeCacheBasePath(dir.path());
        return atlasfile::writeAtlas(dir.path(), kSynth.mName, synth.image, synth.boxes)
            && atlasfile::writeAtlas(dir.path(), kHuge.mName, solid(QSize(8, 8), kGlyph), hugeBoxes);
    }();
    return ready;
}

struct TextFixture : GLFixture {
    TextFixture()
        : info(kSynth)
    {
        ready = ready && fontCacheReady();
        font.reset(new cUniFontMap(info));
    }

    cFontInfo info;
    QScopedPointer<cUniFontMap> font;
};

using Yuv = cUniYuvFrame;

// Each plane moved to an allocation of its own that ends with the plane's
// last byte, so that a read past a plane shows under the sanitizer.
struct ExactPlanes {
    explicit ExactPlanes(Yuv const& source)
        : frame(source)
    {
        for (int i = 0; i < frame.planeCount(); ++i) {
            const int bytes = (frame.rowCount(i) - 1) * frame.mStrides[i] + frame.rowBytes(i);
            planes[i].assign(frame.mPlanes[i], frame.mPlanes[i] + bytes);
            frame.mPlanes[i] = planes[i].data();
        }
    }
    ExactPlanes(ExactPlanes const&) = delete;
    uchar* row(int plane, int y) { return planes[plane].data() + y * frame.mStrides[plane]; }
    Yuv frame;
    std::vector<uchar> planes[3];
};

} // namespace

// Opens the engine's signal to a lambda connection.
struct SignalOf : cGLEngine {
    using cDorUrizar::sigAccelerateMe;
};

class tst_GLEngine : public QObject
{
    Q_OBJECT

private slots:
    void initRefusesAnythingButAGLWidget()
    {
        DTEST_IN_CHILD(30000);
        cGLEngine engine;
        QStringList calls;  // the payload's type, and whether its lock could be taken then
        decltype(glengine_ctx::mutex) mutex = nullptr;  // QRecursiveMutex* on Qt 6
        QObject::connect(&engine, &SignalOf::sigAccelerateMe, [&](QVariant const& v) {
            mutex = qvariant_cast<glengine_ctx>(v).mutex;
            const bool locked = mutex && mutex->tryLock();
            if (locked)
                mutex->unlock();
            calls << QString::fromLatin1(v.typeName()) + (locked ? " locked" : "");
        });
        QWidget plain;
        QVERIFY(!engine.init(nullptr) && !engine.init(&plain));
        QVERIFY(calls.isEmpty() && !engine.mGLWidget);
        delete new cUniImg(&engine);  // an engine without a widget never reaches for a context

        GLWidgetBase gl;
        gl.resize(32, 32);
        QVERIFY(dtest::showAndWait(&gl) && engine.init(&gl));
        QCOMPARE(calls, QStringList{QStringLiteral("glengine_ctx locked")});
        QVERIFY(mutex == &engine.mMutex && engine.mGLWidget == &gl && gShaders.program != 0);
    }

    void sizesArePowersOfTwo()
    {
        // The last has no answer that fits, and must not loop for ever.
        const uint rows[][2] = {{0, 1}, {1, 1}, {2, 2}, {3, 4}, {5, 8}, {576, 1024}, {1024, 1024}, {1025, 2048},
                                {0x80000000u, 0x80000000u}, {0x80000001u, 0}};
        for (auto const& row : rows)
            QVERIFY2(nSize(row[0]) == row[1], qPrintable(QString::number(row[0])));
    }

    void texturesAndItemsAreReused()
    {
        GL_CHILD_CASE(GLFixture, f);
        cGLEngine::cTexture t(solid(QSize(100, 50), 0xff102030));
        const GLuint first = t.textureId();
        t.setImage(solid(QSize(20, 20), 0xff000000));
        QVERIFY(t.textureId() == first && t.imageSize() == QSize(20, 20));
        QCOMPARE(t.textureSize(), QSize(128, 64));
        t.setImage(solid(QSize(200, 10), 0xff000000));
        QCOMPARE(t.textureSize(), QSize(256, 16));
        QVERIFY(first != 0 && (!glIsTexture(first) || t.textureId() != first));
        t.setImage(solid(QSize(100, 50), 0xff000000));
        QCOMPARE(t.textureSize(), QSize(128, 64));
        cGLEngine::cTexture one(solid(QSize(1, 1), 0xffffffff));
        QVERIFY(one.textureSize() == QSize(1, 1) && one.toTextureRect(QRect(0, 0, 1, 1)) == QRectF(0, 0, 1, 1));
        // An opaque format whose alpha bytes hold anything is uploaded, and
        // left in the caller's image, with opaque alpha.
        QImage rgb(4, 4, QImage::Format_RGB32);
        std::fill_n(reinterpret_cast<QRgb*>(rgb.bits()), 16, 0x00405060u);
        const QImage before = rgb;
        t.setImage(rgb);
        QVERIFY(!t.hasAlpha());
        QCOMPARE(reinterpret_cast<QRgb const*>(rgb.constBits())[5], 0xff405060u);
        QCOMPARE(reinterpret_cast<QRgb const*>(before.constBits())[5], 0x00405060u);
        std::vector<QRgb> texels(size_t(t.textureSize().width() * t.textureSize().height()));
        glBindTexture(GL_TEXTURE_2D, t.textureId());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
        QCOMPARE(texels[0], 0xff405060u);
        cGLEngine::cTexture atlas(solid(QSize(8, 8), 0xffffffff));
        cGLEngine::cUniData d;
        cGLEngine::cUniItem* glyph = d.appendItem(&atlas, QRect(0, 0, 2, 2), QRect(0, 0, 2, 2));
        QVERIFY(glyph->mForeignTexture && !glyph->mUsed);
        // A picture never takes a glyph's item: it would upload into the atlas.
        const QImage picture = solid(QSize(4, 4), 0xff00ff00);
        cGLEngine::cUniItem* item = d.appendItem(&picture, picture.rect(), QRect(5, 5, 4, 4));
        QVERIFY(item != glyph && !item->mForeignTexture && glyph->mTexture == &atlas);
        QCOMPARE(d.mItems.last(), item);
        item->mUsed = true;
        d.eraseUnusedItems();
        QCOMPARE(d.mItems, QList<cGLEngine::cUniItem*>{item});
    }

    void outlineItemsBlendEachBorderPixelOnce_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QList<QRect>>("items");
        // Corners belong to the left and right edges.
        QTest::newRow("box") << QRect(10, 10, 10, 5)
                             << QList<QRect>{{11, 10, 8, 1}, {11, 14, 8, 1}, {10, 10, 1, 5}, {19, 10, 1, 5}};
        QTest::newRow("one wide") << QRect(40, 10, 1, 6) << QList<QRect>{{40, 10, 1, 6}};
        QTest::newRow("one high") << QRect(50, 10, 6, 1) << QList<QRect>{{51, 10, 4, 1}, {50, 10, 1, 1}, {55, 10, 1, 1}};
    }
    void outlineItemsBlendEachBorderPixelOnce()
    {
        QFETCH(QRect, rect);
        QFETCH(QList<QRect>, items);
        GL_CHILD_CASE(GLFixture, f);
        const QImage shot = f.present([&] { f.screen.drawRect(rect, QColor(255, 255, 255, 128)); });
        const auto& list = f.data(f.screen)->mItems;
        QCOMPARE(list.size(), items.size());
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(list[i]->mDstRect, items[i]);
            QCOMPARE(list[i]->mSrcRect, QRect(0, 0, 1, 1));
        }
        // White at alpha 128 over black, blended once: 128, never 192.
        const QRect inner = rect.adjusted(1, 1, -1, -1);
        for (int y = rect.top() - 2; y <= rect.bottom() + 2; ++y)
            for (int x = rect.left() - 2; x <= rect.right() + 2; ++x) {
                const bool border = rect.contains(x, y) && !(inner.isValid() && inner.contains(x, y));
                GL_COMPARE_PIXELS(shot, border ? 2 : 0, {x, y, border ? kGrey : kBlack});
            }
    }

    // The whole child is scaled into the target, whatever the source
    // rectangle; both parents show its latest content. Nesting stops at 30
    // levels: a chain 40 deep stops before its red end, one 3 deep shows it.
    void childrenShowLatestContentUpToANestingLimit()
    {
        GL_CHILD_CASE(GLFixture, f);
        cUniImg child, left, right;
        child.resize(10, 10);
        record(child, [&] {
            child.fillRect(QRect(0, 0, 5, 10), QColor(kRed));
            child.fillRect(QRect(5, 0, 5, 10), QColor(kGreen));
        });
        for (cUniImg* parent : {&left, &right}) {
            parent->resize(40, 40);
            record(*parent, [&] { parent->drawImage(QRect(0, 0, 20, 20), child, QRect(0, 0, 5, 5)); });
        }
        auto frame = [&] {
            f.screen.drawImage(QRect(0, 0, 40, 40), left);
            f.screen.drawImage(QRect(100, 0, 80, 80), right);
        };
        GL_COMPARE_PIXELS(f.present(frame), 0, {0, 0, kRed}, {9, 19, kRed}, {10, 0, kGreen}, {19, 19, kGreen},
                          {20, 5, kBlack}, {5, 20, kBlack}, {100, 0, kRed}, {119, 39, kRed}, {120, 0, kGreen},
                          {139, 39, kGreen}, {140, 20, kBlack}, {120, 40, kBlack}, {99, 20, kBlack});
        record(child, [&] { child.fillRect(QRect(0, 0, 10, 10), QColor(kBlue)); });
        GL_COMPARE_PIXELS(f.present(frame), 0, {0, 0, kBlue}, {19, 19, kBlue}, {100, 0, kBlue}, {139, 39, kBlue});
        std::vector<cUniImg> chain(40);
        fillImage(chain[39], QSize(10, 10), kRed);
        for (int i = 38; i >= 0; --i) {
            chain[i].resize(10, 10);
            record(chain[i], [&] { chain[i].drawImage(QRect(0, 0, 10, 10), chain[i + 1]); });
        }
        GL_COMPARE_PIXELS(f.present([&] {
            f.screen.drawImage(QRect(0, 0, 10, 10), chain[0]);
            f.screen.drawImage(QRect(20, 0, 10, 10), chain[37]);
        }), 0, {5, 5, kBlack}, {25, 5, kRed});
    }

    void destroyingAChildRemovesItsItems_data()
    {
        QTest::addColumn<bool>("withData");
        QTest::newRow("drawn child") << true;
        // Regression: an image that never had data, drawn as a child and
        // destroyed, left its parent pointing at a dead handle.
        QTest::newRow("child without data") << false;
    }
    void destroyingAChildRemovesItsItems()
    {
        QFETCH(bool, withData);
        GL_CHILD_CASE(GLFixture, f);
        cUniImg* child = new cUniImg;
        withData ? fillImage(*child, QSize(10, 10), kRed) : child->resize(10, 10);
        QCOMPARE(child->mData != nullptr, withData);
        cUniImg parent;
        parent.resize(20, 20);
        record(parent, [&] {
            parent.drawImage(QRect(0, 0, 10, 10), *child);
            parent.fillRect(QRect(10, 10, 10, 10), QColor(kGreen));
        });
        f.present([&] {
            f.screen.drawImage(QRect(0, 0, 20, 20), parent);
            f.screen.drawImage(QRect(50, 0, 10, 10), *child);
        });
        auto counts = [&] { return QPair<int, int>(f.data(parent)->mItems.size(), f.data(f.screen)->mItems.size()); };
        QCOMPARE(counts(), qMakePair(2, 2));
        delete child;
        QCOMPARE(counts(), qMakePair(1, 1));
        GL_COMPARE_PIXELS(f.present([&] { f.screen.drawImage(QRect(0, 0, 20, 20), parent); }), 0, {15, 15, kGreen},
                          {5, 5, kBlack});
    }

    // Regression: an image drawn into itself, directly or through another
    // image, made presentation recurse until the stack ran out.
    void cyclesAreRefused()
    {
        GL_CHILD_CASE(GLFixture, f);
        cUniImg a, b;
        for (cUniImg* i : {&a, &b})
            i->resize(20, 20);
        auto redWith = [&](cUniImg& child) {
            record(a, [&] {
                a.fillRect(QRect(0, 0, 20, 20), QColor(kRed));
                a.drawImage(QRect(0, 0, 10, 10), child);
            });
        };
        redWith(a);
        QCOMPARE(f.data(a)->mItems.size(), 1);
        record(b, [&] { b.drawImage(QRect(0, 0, 20, 20), a); });
        redWith(b);
        QCOMPARE(qMakePair(int(f.data(a)->mItems.size()), int(f.data(b)->mItems.size())), qMakePair(1, 1));
        cUniImg d;  // reaches b twice, which is no cycle
        d.resize(20, 20);
        record(d, [&] { d.drawImage(QRect(0, 0, 10, 20), b), d.drawImage(QRect(10, 0, 10, 20), b); });
        const QImage shot = f.present([&] {
            f.screen.drawImage(QRect(0, 0, 20, 20), a);
            f.screen.drawImage(QRect(40, 0, 20, 20), b);
            f.screen.drawImage(QRect(80, 0, 20, 20), f.screen);
            f.screen.drawImage(QRect(120, 0, 20, 20), d);
        });
        QCOMPARE(f.data(f.screen)->mItems.size(), 3);
        GL_COMPARE_PIXELS(shot, 0, {10, 10, kRed}, {50, 10, kRed}, {135, 10, kRed});
    }

    // Regression: the screen swapped buffers for a host that swaps them itself.
    // Qt 6 has no swap to turn off: a later repaint (an expose) shows the
    // frame kept in the widget's frame buffer.
    void hostSwapsWhenAutomaticSwapIsOff()
    {
        GL_CHILD_CASE(GLFixture, f);
#if QT_VERSION_MAJOR >= 6
        QCOMPARE(dtest::countPixels(f.present([&] { f.screen.fillRect(QRect(0, 0, 10, 10), QColor(kRed)); }), kRed), 100);
        f.widget.repaint();
        QCOMPARE(dtest::countPixels(dtest::grabWidget(&f.widget), kRed), 100);
#else
        f.widget.setAutoBufferSwap(false);
        QCOMPARE(dtest::countPixels(f.present([&] { f.screen.fillRect(QRect(0, 0, 10, 10), QColor(kRed)); }), kRed), 0);
        f.widget.swapBuffers();
        QCOMPARE(dtest::countPixels(dtest::grabWidget(&f.widget), kRed), 100);
#endif
    }

    // Regression: a child with a zero side was drawn with an infinite scale.
    // Pictures of other depths are converted; they are uploaded into the
    // engine's context even when the host left another one current.
    void zeroSizedChildAndOtherDepths()
    {
        GL_CHILD_CASE(GLFixture, f);
        cUniImg flat;
        fillImage(flat, QSize(10, 10), kRed);
        flat.resize(0, 10);
        const QImage rgb888 = solid(QSize(13, 7), kGreen, QImage::Format_RGB888);
        QImage indexed = solid(QSize(5, 5), kBlue).convertToFormat(QImage::Format_Indexed8);
        std::vector<QRgb> rows(20 * 8, kRed);  // 16 x 8 green pixels in rows of 20
        for (int y = 0; y < 8; ++y)
            std::fill_n(rows.begin() + y * 20, 16, kGreen);
        const QImage padded(reinterpret_cast<uchar const*>(rows.data()), 16, 8, 80, QImage::Format_ARGB32);
        GLWidgetBase other;
        other.setGeometry(600, 600, 8, 8);
        QVERIFY(dtest::showAndWait(&other));
        other.makeCurrent();
        const QImage shot = f.present([&] {
            f.screen.drawImage(QRect(0, 100, 50, 50), flat);
            f.screen.fillRect(QRect(60, 0, 10, 10), QColor(kRed));
            f.screen.drawImage(QRect(0, 0, 13, 7), rgb888, rgb888.rect());
            f.screen.drawImage(QRect(20, 0, 5, 5), indexed, indexed.rect());
            f.screen.drawImage(QRect(30, 0, 16, 8), padded, padded.rect());
        });
        QCOMPARE(dtest::countPixels(shot, 0xffff0000u), 100);
        GL_COMPARE_PIXELS(shot, 0, {65, 5, kRed}, {6, 3, kGreen}, {12, 6, kGreen}, {22, 2, kBlue}, {45, 7, kGreen});
    }

    void deinterlaceFilter_data()
    {
        QTest::addColumn<bool>("shaders");
        for (bool shaders : {true, false})
            QTest::newRow(shaders ? "with shaders" : "without shaders") << shaders;
    }
    // A 704 x 576 picture is filtered by the shader: alternate black and
    // white rows turn grey. Other sizes, or no shaders, keep their rows.
    void deinterlaceFilter()
    {
        QFETCH(bool, shaders);
        if (shaders)
            DTEST_IN_SHARED_CHILD();
        else
            DTEST_IN_CHILD(30000);  // an engine without shaders stays so in its process
        gShadersFound = shaders;
        GLFixture f(QSize(760, 600));
        QVERIFY(f.ready);
        QCOMPARE(gShaders.program != 0, shaders);
        for (int width : {704, 720}) {
            const QImage picture = interlaced(width);
            const QImage shot =
                f.present([&] { f.screen.drawImage(QRect(0, 0, width, 576), picture, picture.rect()); });
            const bool grey = shaders && width == 704;
            GL_COMPARE_PIXELS(shot, grey ? 3 : 0, {300, 100, grey ? kGrey : kBlack}, {300, 101, grey ? kGrey : kWhite});
        }
    }

    void yuvFramesMatchTheReference_data()
    {
        dtest::addFrameColumns();
        for (int format : {Yuv::I420, Yuv::NV12, Yuv::YUYV})
            for (int matrix : {Yuv::BT601, Yuv::BT709})
                for (int range : {Yuv::Limited, Yuv::Full})
                    QTest::addRow("%s %s %s", QList<char const*>{"I420", "NV12", "YUYV"}[format - 1],
                                  matrix ? "709" : "601", range ? "full" : "limited")
                        << format << matrix << range << QSize(96, 20) << 0 << QRect(0, 0, 96, 20) << QRect(10, 10, 96, 20);
        QTest::newRow("I420 odd, padded, cropped") << int(Yuv::I420) << 1 << 0 << QSize(61, 35) << 3 << QRect(7, 3, 50, 29)
                                                   << QRect(0, 100, 50, 29);
        QTest::newRow("NV12 odd, padded, scaled up") << int(Yuv::NV12) << 0 << 1 << QSize(77, 19) << 1 << QRect(0, 0, 77, 19)
                                                     << QRect(80, 100, 231, 57);
        QTest::newRow("YUYV odd, padded, scaled down") << int(Yuv::YUYV) << 1 << 0 << QSize(121, 33) << 5
                                                       << QRect(1, 1, 119, 31) << QRect(150, 120, 60, 16);
        QTest::newRow("I420 odd, scaled down") << int(Yuv::I420) << 0 << 1 << QSize(91, 41) << 0 << QRect(0, 0, 91, 41)
                                               << QRect(200, 20, 60, 27);
        QTest::newRow("I420 clipped by the screen") << int(Yuv::I420) << 0 << 0 << QSize(64, 16) << 2
                                                    << QRect(0, 0, 64, 16) << QRect(290, 230, 64, 16);
    }
    // Bars in every layout, matrix and range, each pixel checked against the
    // double-precision conversion of the source pixel its centre maps to, away
    // from bar edges (filtering blends those); the pixels round the target stay black.
    void yuvFramesMatchTheReference()
    {
        QFETCH(int, format); QFETCH(int, matrix); QFETCH(int, range); QFETCH(int, padding);
        QFETCH(QSize, size); QFETCH(QRect, source); QFETCH(QRect, target);
        GL_CHILD_CASE(GLFixture, f);
        const dtest::YuvBars bars = dtest::yuvBars(Yuv::Format(format), size, Yuv::Matrix(matrix), Yuv::Range(range), padding);
        ExactPlanes exact(bars.frame);
        const QImage shot = f.present([&] { f.screen.drawImage(target, exact.frame, source); });
        int checked = 0;
        for (QPoint p : {target.topLeft() - QPoint(1, 1), target.bottomRight() + QPoint(1, 1)})
            if (shot.rect().contains(p))
                GL_COMPARE_PIXELS(shot, 0, {p.x(), p.y(), kBlack});
        for (int ty = target.top(); ty <= std::min(target.bottom(), shot.height() - 1); ++ty)
            for (int tx = target.left(); tx <= std::min(target.right(), shot.width() - 1); ++tx) {
                const int x = source.left() + int((tx - target.left() + 0.5) * source.width() / target.width());
                const int y = source.top() + int((ty - target.top() + 0.5) * source.height() / target.height());
                if (dtest::barOf(std::max(x - 2, 0), size.width()) != dtest::barOf(std::min(x + 3, size.width() - 1), size.width()))
                    continue;
                ++checked;
                GL_COMPARE_PIXELS(shot, 2, {tx, ty, bars.reference.pixel(x, y)});
            }
        QVERIFY(checked >= (target & shot.rect()).width() * (target & shot.rect()).height() / 4);
    }

    void yuvDeinterlace_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("shaders");
        for (int format : {Yuv::I420, Yuv::NV12, Yuv::YUYV})
            QTest::addRow("%d", format) << format << true;
        QTest::newRow("without shaders") << int(Yuv::I420) << false;
    }
    // A 704 x 576 frame of alternate black and white rows turns grey, as a
    // picture does; a 720 x 576 one keeps its rows. Without shaders a frame
    // draws nothing and the engine says so once.
    void yuvDeinterlace()
    {
        QFETCH(int, format);
        QFETCH(bool, shaders);
        if (shaders)
            DTEST_IN_SHARED_CHILD();
        else
            DTEST_IN_CHILD(30000);
        gShadersFound = shaders;
        static int warnings;
        warnings = 0;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, QMessageLogContext const&, QString const&) { warnings += type == QtWarningMsg; });
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        GLFixture f(QSize(760, 600));
        QVERIFY(f.ready);
        for (int width : {704, 720}) {
            ExactPlanes exact(dtest::yuvBars(Yuv::Format(format), QSize(width, 576), Yuv::BT601, Yuv::Limited).frame);
            for (int y = 0; y < 576; ++y)
                for (int b = 0; b < exact.frame.rowBytes(0); b += format == Yuv::YUYV ? 2 : 1)
                    exact.row(0, y)[b] = y % 2 ? 235 : 16;
            const QImage shot = f.present([&] { f.screen.drawImage(QRect(0, 0, width, 576), exact.frame, exact.frame.rect()); });
            const bool grey = shaders && width == 704;
            // The last bar is black: its chroma is neutral.
            GL_COMPARE_PIXELS(shot, grey ? 3 : 2, {660, 100, grey ? kGrey : kBlack},
                              {660, 101, grey ? kGrey : shaders ? kWhite : kBlack});
        }
        QCOMPARE(warnings, shaders ? 0 : 1);
    }

    // Enlarged, a frame is interpolated; reduced, it is sampled as the other
    // engines sample it, so columns of black and white stay black and white.
    void yuvInterpolatedOnlyWhenEnlarged()
    {
        GL_CHILD_CASE(GLFixture, f);
        const QSize size(16, 4);
        std::vector<uchar> luma(size_t(size.width() * size.height())), chroma(luma.size() / 4, 128);
        for (size_t i = 0; i < luma.size(); ++i)  // the last row inverted
            luma[i] = uchar((i % 2 ? 255 : 0) ^ (i >= luma.size() - size_t(size.width()) ? 255 : 0));
        Yuv frame(Yuv::I420, size, Yuv::BT601, Yuv::Full);
        frame.setPlane(0, luma.data(), size.width());
        frame.setPlane(1, chroma.data(), size.width() / 2);
        frame.setPlane(2, chroma.data(), size.width() / 2);
        const QImage shot = f.present([&] {
            f.screen.drawImage(QRect(0, 0, 128, 32), frame, frame.rect());
            f.screen.drawImage(QRect(0, 40, 12, 3), frame, frame.rect());
        });
        const auto greys = [&](int y, int width) {
            int n = 0;
            for (int x = 0; x < width; ++x)
                n += std::abs(qGray(shot.pixel(x, y)) - 128) < 100;
            return n;
        };
        QVERIFY2(greys(16, 128) > 64, qPrintable(QString::number(greys(16, 128))));
        QCOMPARE(greys(41, 12), 0);
        // Beyond the outer samples' centres, the edge is held, not wrapped round.
        GL_COMPARE_PIXELS(shot, 2, {0, 16, kBlack}, {127, 16, kWhite}, {0, 0, kBlack}, {0, 31, kWhite});
    }

    // Planes whose bytes match the item's copy upload nothing, whatever their
    // address; a changed plane uploads alone, matrix and range upload
    // nothing, and the item stays the same.
    void yuvUploadsOnlyChangedPlanes()
    {
        GL_CHILD_CASE(GLFixture, f);
        ExactPlanes exact(dtest::yuvBars(Yuv::I420, QSize(64, 32), Yuv::BT601, Yuv::Limited, 1).frame), again(exact.frame);
        quint64 before = 0;
        auto draw = [&](Yuv const& frame) {
            before = cGLEngine::mUploadedBytes;
            return f.present([&] { f.screen.drawImage(QRect(0, 0, 64, 32), frame, frame.rect()); });
        };
        auto uploaded = [&] { return cGLEngine::mUploadedBytes - before; };
        auto expected = [&](Yuv const& frame) {
            ExactPlanes& p = frame.mPlanes[0] == exact.frame.mPlanes[0] ? exact : again;
            return dtest::referenceRgb(p.row(0, 3)[3], p.row(1, 1)[1], p.row(2, 1)[1], frame.mMatrix, frame.mRange);
        };
        QImage shot = draw(exact.frame);
        GL_COMPARE_PIXELS(shot, 2, {3, 3, expected(exact.frame)});
        QCOMPARE(uploaded(), 64u * 32 + 2 * 32 * 16);
        cGLEngine::cUniItem* item = f.data(f.screen)->mItems.value(0);
        draw(again.frame);
        QCOMPARE(uploaded(), 0u);
        Yuv full = again.frame;
        full.mRange = Yuv::Full, full.mMatrix = Yuv::BT709;
        shot = draw(full);
        GL_COMPARE_PIXELS(shot, 2, {3, 3, expected(full)});
        QCOMPARE(uploaded(), 0u);
        again.row(2, 15)[31] = 0;  // the last Cr sample
        draw(again.frame);
        QCOMPARE(uploaded(), 32u * 16);
        for (int y = 0; y < 32; ++y)
            std::fill_n(again.row(0, y), 64, 16);
        shot = draw(again.frame);
        GL_COMPARE_PIXELS(shot, 2, {3, 3, expected(again.frame)}, {3, 3, kBlack});
        QCOMPARE(uploaded(), 64u * 32);
        QCOMPARE(f.data(f.screen)->mItems, QList<cGLEngine::cUniItem*>{item});
        const QImage picture = solid(QSize(8, 8), kRed);  // small enough to be compared, not uploaded, when repeated
        before = cGLEngine::mUploadedBytes;
        f.present([&] { f.screen.drawImage(QRect(0, 0, 8, 8), picture, picture.rect()); });
        QCOMPARE(uploaded(), 256u);
    }

    // Each bad frame or rectangle is refused: nothing recorded, uploaded or drawn.
    void yuvBadFramesAreRefused()
    {
        GL_CHILD_CASE(GLFixture, f);
        ExactPlanes good(dtest::yuvBars(Yuv::NV12, QSize(16, 8), Yuv::BT601, Yuv::Limited).frame);
        QList<QPair<Yuv, QRect>> cases;
        auto bad = [&](auto change, QRect source = QRect(0, 0, 16, 8)) {
            Yuv frame = good.frame;
            change(frame);
            cases.append({frame, source});
        };
        bad([](Yuv& y) { y.mPlanes[1] = nullptr; });
        bad([](Yuv& y) { y.mStrides[0] = 15; });
        bad([](Yuv& y) { y.mStrides[1] = -16; });
        bad([](Yuv& y) { y.mSize = QSize(0, 8); });
        bad([](Yuv& y) { y.mSize = QSize(16, -8); });
        bad([](Yuv& y) { y.mSize = QSize(Yuv::kMaxSide + 2, 8), y.mStrides[0] = y.mStrides[1] = 1 << 20; });
        bad([](Yuv& y) { y.mFormat = Yuv::Invalid; });
        bad([](Yuv&) {}, QRect(1, 0, 16, 8));
        bad([](Yuv&) {}, QRect(0, 0, 0, 8));
        bad([](Yuv&) {}, QRect(0, 0, 16, 9));
        bad([](Yuv&) {}, QRect(QPoint(INT_MIN + 1, 0), QPoint(1 << 25, 7)));  // QRect::contains() took it in
        const quint64 before = cGLEngine::mUploadedBytes;
        const QImage shot = f.present([&] {
            for (auto const& c : cases)
                f.screen.drawImage(QRect(0, 0, 16, 8), c.first, c.second);
            f.screen.drawImage(QRect(16, 0, -16, 8), good.frame, good.frame.rect());
        });
        QVERIFY(f.data(f.screen)->mItems.isEmpty() && cGLEngine::mUploadedBytes == before);
        QCOMPARE(dtest::countPixels(shot, 0xff000000u), shot.width() * shot.height());
    }

    // A token is a Mono image holding a callback that binds a texture of its
    // owner's; the engine never uploads it.
    void acceleratedTokenIsBoundByItsCallback()
    {
        GL_CHILD_CASE(GLFixture, f, QSize(400, 320));
        const QImage magenta = solid(QSize(704, 576), kMagenta);
        glGenTextures(1, &gTokenTexture);
        glBindTexture(GL_TEXTURE_2D, gTokenTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 704, 576, 0, GL_BGRA, GL_UNSIGNED_BYTE, magenta.constBits());
        const QImage bound = token(QSize(704, 576), &bindTestTexture);
        const QImage shot = f.present([&] {
            f.screen.drawImage(QRect(0, 0, 352, 288), bound, bound.rect());
            f.screen.fillRect(QRect(360, 0, 10, 10), QColor(255, 255, 255, 128));  // blends after the token too
        });
        QVERIFY(gBinds >= 1 && gBoundZero == 0);
        QCOMPARE(gBoundData, static_cast<void const*>(bound.constBits()));
        GL_COMPARE_PIXELS(shot, 1, {10, 10, kMagenta}, {340, 280, kMagenta}, {360, 290, kBlack});
        GL_COMPARE_PIXELS(shot, 2, {365, 5, kGrey});
        cGLEngine::cUniItem* item = f.data(f.screen)->mItems.value(0);
        QVERIFY(item && item->mTexture && item->mTexture->accelerated());
        QCOMPARE(item->mTexture->textureSize(), QSize(704, 576));
        GLint width = -1;
        glBindTexture(GL_TEXTURE_2D, item->mTexture->textureId());
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        QCOMPARE(width, 0);
        // A token too small to hold a callback, or one holding none, is not called.
        const int binds = gBinds;
        cGLEngine::cTexture(token(QSize(1, 1), &bindTestTexture)).acceleratedBind();
        cGLEngine::cTexture(token(QSize(16, 16), nullptr)).acceleratedBind();
        QCOMPARE(gBinds, binds);
        // A later ordinary picture of the same size never lands in the token's
        // texture, whose callback it would otherwise be taken for.
        const QImage green = solid(QSize(704, 576), kGreen);
        GL_COMPARE_PIXELS(f.present([&] { f.screen.drawImage(QRect(0, 0, 352, 288), green, green.rect()); }), 1,
                          {100, 100, kGreen});
    }

    void repeatedFramesReuseItemsAndTextures()
    {
        GL_CHILD_CASE(GLFixture, f);
        cUniImg tile;
        tile.resize(64, 48);
        const QImage picture = solid(QSize(64, 48), kBlue);
        auto draw = [&] {
            record(tile, [&] {
                tile.drawImage(tile.rect(), picture, picture.rect());
                tile.fillRect(QRect(0, 0, 64, 8), QColor(0, 0, 0, 128));
                tile.drawRect(tile.rect(), QColor(kWhite));
                tile.drawGradient(QRect(8, 8, 8, 8), QColor(kRed), QColor(kWhite));
            });
            f.present([&] { f.screen.drawImage(QRect(0, 0, 64, 48), tile); });
        };
        draw();
        const QList<cGLEngine::cUniItem*> items = f.data(tile)->mItems;
        QList<GLuint> names;
        for (auto* item : items)
            names << item->mTexture->textureId();
        QCOMPARE(items.size(), 7);
        auto* screenItem = f.data(f.screen)->mItems.value(0);
        draw();
        QCOMPARE(f.data(tile)->mItems, items);
        for (int i = 0; i < items.size(); ++i)
            QCOMPARE(items[i]->mTexture->textureId(), names[i]);
        QCOMPARE(f.data(f.screen)->mItems.value(0), screenItem);
        // An update that draws nothing leaves the list empty, and drawing
        // between updates records nothing.
        record(tile, [] {});
        tile.fillRect(tile.rect(), QColor(kRed));
        QVERIFY(f.data(tile)->mItems.isEmpty());
        // A tiny picture, kept as the texture's own copy, shows its new pixels
        // when they change: green in its first 2 columns, all 8, 2 again.
        QImage tiny(8, 4, QImage::Format_ARGB32), shot;
        for (int green : {2, 8, 2}) {
            for (int i = 0; i < 32; ++i)
                tiny.setPixel(i % 8, i / 8, i % 8 < green ? kGreen : kRed);
            shot = f.present([&] { f.screen.drawImage(QRect(0, 0, 64, 32), tiny, tiny.rect()); });
        }
        QVERIFY(dtest::countPixels(shot.copy(0, 0, 64, 32), kRed) > 64 * 16);
        // Regression: a fill on that texture, now larger than its one texel, mixed the picture into its edges.
        shot = f.present([&] { f.screen.fillRect(QRect(0, 0, 64, 32), QColor(kBlue)); });
        QCOMPARE(dtest::countPixels(shot.copy(0, 0, 64, 32), kBlue), 64 * 32);
    }

    // Regression: beginUpdate(nullptr) while another update was open read
    // through the null handle.
    void nullUpdateRefusedWhileAnotherIsOpen()
    {
        GL_CHILD_CASE(GLFixture, f);
        QVERIFY(f.screen.beginUpdate() && !f.engine.beginUpdate(nullptr));
        QCOMPARE(f.engine.currentImage(), &f.screen);
        QVERIFY(f.screen.endUpdate());
    }

    void glyphCellsAdvanceByWidthPlusBorder_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QPoint>("origin");
        // "abc" measures W = 5 + 6 + 7 + 3 x 1 = 21, H = 8, in (10, 10)-(109, 49).
        QTest::newRow("left") << 0 << QPoint(10, 10);
        QTest::newRow("right bottom") << int(Qt::AlignRight | Qt::AlignBottom) << QPoint(109 - 21, 49 - 8);
        QTest::newRow("centre") << int(Qt::AlignCenter) << QPoint(10 + 50 - 10, 10 + 20 - 4);
    }
    void glyphCellsAdvanceByWidthPlusBorder()
    {
        QFETCH(int, flags);
        QFETCH(QPoint, origin);
        GL_CHILD_CASE(TextFixture, f);
        QCOMPARE(f.font->border(), 1);
        const QImage shot = f.present([&] { f.screen.drawText(QRect(10, 10, 100, 40), flags, "abc", *f.font); });
        const auto& items = f.data(f.screen)->mItems;
        QCOMPARE(items.size(), 3);
        // The cell grows 4 x B to the right and 3 x B downwards.
        QCOMPARE(items[0]->mSrcRect.size(), QSize(9, 11));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(items[i]->mDstRect.topLeft(), origin + QPoint(QList<int>{0, 6, 13}[i], 0));
            QCOMPARE(items[i]->mDstRect.size(), QSize(9 + i, 11));
            QVERIFY(items[i]->mForeignTexture);
        }
        // a: 0..4, its ring at 5; b on top from 6; c from 13 to 19, ring at 20.
        const int x = origin.x(), y = origin.y();
        GL_COMPARE_PIXELS(shot, 0, {x, y, kGlyph}, {x + 4, y + 7, kGlyph}, {x + 5, y + 2, kRing},
                          {x + 2, y + 8, kRing}, {x + 6, y + 2, kGlyph}, {x + 19, y + 2, kGlyph}, {x + 20, y + 2, kRing},
                          {x + 21, y + 2, kBlack}, {x + 2, y + 9, kBlack}, {x - 1, y + 2, kBlack});
    }

    void oneTextureAndSteadyItemsPerAtlas()
    {
        GL_CHILD_CASE(TextFixture, f);
        cUniFontMap again(f.info);
        const QImage picture = solid(QSize(4, 4), kRing);
        // Recycled items keep their kind: a picture never takes a glyph's
        // item (it would upload into the atlas texture), nor a glyph a picture's.
        auto frame = [&] {
            f.screen.drawText(QRect(0, 0, 50, 10), 0, QStringLiteral("ab"), *f.font);
            f.screen.drawImage(QRect(60, 0, 4, 4), picture, picture.rect());
            f.screen.drawText(QRect(0, 20, 50, 10), 0, QStringLiteral("ca"), again);
            f.screen.drawText(QRect(0, 40, 50, 10), 0, QString(), again);
        };
        f.present(frame);
        QCOMPARE(f.engine.mTextures.size(), 1);
        const auto items = f.data(f.screen)->mItems;
        QCOMPARE(items.size(), 5);
        QCOMPARE(items[2]->mForeignTexture, false);
        const GLuint name = f.engine.mTextures.first()->textureId();
        f.present(frame);
        QCOMPARE(f.data(f.screen)->mItems, items);
        QCOMPARE(f.engine.mTextures.first()->textureId(), name);
        QCOMPARE(f.engine.mTextures.first()->imageSize(), f.font->image().size());
        again.Destroy();
    }

    // Regressions: a long label's first recording scanned the list once per
    // glyph, destroying an image visited every list, and the cycle check
    // recursed once per link: 200,000 chained images overflowed the stack.
    void longListsAndChains()
    {
        GL_CHILD_CASE(TextFixture, f);
        const QString label(100000, QLatin1Char('a'));
        for (int frame = 0; frame < 2; ++frame) {
            f.screen.beginUpdate();
            f.screen.drawText(QRect(0, 0, 50, 10), 0, label, *f.font);
            f.screen.endUpdate();
            QCOMPARE(f.data(f.screen)->mItems.size(), label.size());
        }
        std::vector<cUniImg> chain(200000);  // each shows the next, which has no list yet
        for (size_t i = 0; i + 1 < chain.size(); ++i)
            record(chain[i], [&] { chain[i].resize(2, 2), chain[i].drawImage(QRect(0, 0, 2, 2), chain[i + 1]); });
        record(chain.back(), [&] { chain.back().drawImage(QRect(0, 0, 2, 2), chain.front()); });
        QVERIFY(f.data(chain.back())->mItems.isEmpty());
        chain.clear();
        QCOMPARE(cGLEngine::mGlobalDataList.size(), 1);
    }

    // Boxes near the integer limit, as a crafted cache file can hold: two of
    // them side by side must not wrap round into a plausible position.
    void hugeGlyphBoxesNeverWrap()
    {
        GL_CHILD_CASE(GLFixture, f);
        QVERIFY(fontCacheReady());
        cUniFontMap font(kHuge);
        // The loader refuses such a box from a file; set in the node, it must still not wrap.
        font.mNode->mRects['w'] = QRect(0, 0, 1500000000, 4);
        f.present([&] {
            f.screen.drawText(QRect(0, 0, 50, 10), 0, QStringLiteral("wwx"), font);
            f.screen.drawText(QRect(0, 0, 50, 10), Qt::AlignRight, QStringLiteral("wwx"), font);
        });
        // Left-aligned, the second 'w' and the 'x' start past INT_MAX and are
        // never recorded. Right-aligned, the first 'w' starts below INT_MIN;
        // the rest lands where the 64-bit measure puts it: 'x' at
        // 49 - 3000000006 + 2 x 1500000001 = 45.
        const auto& items = f.data(f.screen)->mItems;
        QCOMPARE(items.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(items[i]->mDstRect.left(), (QList<int>{0, -1499999956, 45}[i]));
    }
};

DTEST_MAIN(tst_GLEngine)
#include "tst_glengine.moc"
