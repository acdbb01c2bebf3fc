// Drawing operations of the SDL engine, read back from the surfaces.

#include "sdlfixture.h"

#include <QApplication>
#include <QColor>

namespace {

// Source pixel (x, y) of the test pictures: opaque and distinct.
unsigned sourceValue(int x, int y)
{
    return 0xff000000u | unsigned(x + 1) << 16 | unsigned(y + 1) << 8 | 0x5a;
}

QImage picture(int w, int h, QImage::Format format = QImage::Format_RGB32)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, sourceValue(x, y));
    return img.convertToFormat(format);
}

// The source offset that target offset c takes in a span of sw scaled to dw.
int sampled(long long c, long long sw, long long dw)
{
    return int(((c + 1) * sw + dw - 1) / dw - 1);
}

// Fills a handle with the test picture.
bool paintPicture(cUniImg& img, int w, int h)
{
    img.resize(w, h);
    if (!img.beginUpdate())
        return false;
    img.drawImage(QRect(0, 0, w, h), picture(w, h), QRect(0, 0, w, h));
    return img.endUpdate();
}

// Compares every pixel of s with the scaled copy of srcRect of the test
// picture (src x src pixels) into dstRect, and the background elsewhere;
// source pixels outside the picture are never drawn.
int checkScaled(SDL_Surface* s, QRect const& srcRect, QRect const& dstRect, QSize const& src, unsigned background)
{
    const QImage got = surfaceImage(s);
    for (int y = 0; y < got.height(); ++y) {
        for (int x = 0; x < got.width(); ++x) {
            unsigned expected = background;
            if (dstRect.contains(x, y)) {
                const int sx = srcRect.left() + sampled(x - dstRect.left(), srcRect.width(), dstRect.width());
                const int sy = srcRect.top() + sampled(y - dstRect.top(), srcRect.height(), dstRect.height());
                if (sx >= 0 && sy >= 0 && sx < src.width() && sy < src.height())
                    expected = sourceValue(sx, sy);
            }
            if (got.pixel(x, y) != expected) {
                std::fprintf(stderr, "pixel (%d, %d) is %08x, expected %08x\n", x, y, got.pixel(x, y), expected);
                return 1;
            }
        }
    }
    return 0;
}

// Clears img to bg, copies srcRect of source (a handle or picture holding the
// test picture) into dstRect and compares every pixel of img with the rule.
template <typename Source>
int checkStretch(SdlFixture& f, cUniImg& img, QRect const& dstRect, Source&& source, QRect const& srcRect,
                 unsigned bg)
{
    img.fillRect(img.rect(), QColor::fromRgba(bg));
    img.drawImage(dstRect, source, srcRect);
    return checkScaled(f.surface(img), srcRect, dstRect, source.size(), bg);
}

// Red at alpha 128 blended over opaque blue; the target keeps its alpha.
bool halfRedOverBlue(unsigned value)
{
    const QColor c = QColor::fromRgba(value);
    return qAbs(c.red() - 128) <= 2 && qAbs(c.blue() - 127) <= 2 && c.green() == 0 && c.alpha() == 255;
}

} // namespace

DTEST_CHILD(stretchTakesLastSourcePixelOfSpan)
{
    SdlCanvas f(QSize(4, 1));
    CHECK(f.ready);
    CHECK(f.begin());

    f.img.drawImage(QRect(0, 0, 4, 1), picture(2, 1), QRect(0, 0, 2, 1));
    CHECK_EQ(f.pixel(0, 0), sourceValue(0, 0));
    CHECK_EQ(f.pixel(1, 0), sourceValue(0, 0));
    CHECK_EQ(f.pixel(2, 0), sourceValue(1, 0));
    CHECK_EQ(f.pixel(3, 0), sourceValue(1, 0));

    f.clear();
    f.img.drawImage(QRect(0, 0, 2, 1), picture(4, 1), QRect(0, 0, 4, 1));
    CHECK_EQ(f.pixel(0, 0), sourceValue(1, 0));
    CHECK_EQ(f.pixel(1, 0), sourceValue(3, 0));
    CHECK_EQ(f.pixel(2, 0), 0u);

    f.img.drawImage(QRect(0, 0, 2, 1), picture(3, 1), QRect(0, 0, 3, 1));
    CHECK_EQ(f.pixel(0, 0), sourceValue(1, 0));
    CHECK_EQ(f.pixel(1, 0), sourceValue(2, 0));
    CHECK(f.img.endUpdate());

    // Both directions at once, from part of a picture and from a handle.
    cUniImg src(&f.engine);
    CHECK(paintPicture(src, 9, 7));
    cUniImg big(&f.engine);
    big.resize(30, 20);
    const unsigned bg = 0xff123456u;
    CHECK(big.beginUpdate());
    CHECK(checkStretch(f, big, QRect(2, 1, 13, 3), picture(9, 7), QRect(1, 2, 7, 5), bg) == 0);
    CHECK(checkStretch(f, big, QRect(3, 2, 22, 17), src, QRect(0, 1, 9, 5), bg) == 0);
    CHECK(big.endUpdate());
    return 0;
}

DTEST_CHILD(sameSizeIsOneBlitWithSourceFlags)
{
    SdlCanvas f(QSize(16, 8));
    CHECK(f.ready);
    cUniImg src(&f.engine);
    src.resize(4, 4);
    CHECK(src.beginUpdate());
    src.fillRect(src.rect(), QColor(255, 0, 0, 128));
    CHECK(src.endUpdate());

    CHECK(f.begin());
    f.clear(QColor(0, 0, 255));

    // With SDL_SRCALPHA the source blends by its alpha.
    f.img.drawImage(QRect(0, 0, 4, 4), src, src.rect());
    CHECK(halfRedOverBlue(f.pixel(1, 1)));

    // The same-size copy is a direct blit: it follows the source surface's
    // own flags, so without SDL_SRCALPHA the raw value is copied.
    SDL_SetAlpha(f.surface(src), 0, 255);
    f.img.drawImage(QRect(4, 0, 4, 4), src, src.rect());
    CHECK_EQ(f.pixel(5, 1), 0x80ff0000u);
    // A scaled copy goes through the engine's own stretch surface, which blends.
    f.img.drawImage(QRect(8, 0, 8, 8), src, src.rect());
    CHECK_EQ(f.pixel(9, 1), f.pixel(1, 1));
    CHECK(f.img.endUpdate());
    return 0;
}

DTEST_CHILD(opaqueImagesCopiedAlphaImagesBlended)
{
    SdlCanvas f(QSize(20, 10));
    CHECK(f.ready);
    CHECK(f.begin());
    f.clear(QColor(0, 0, 255, 255));

    QImage opaque(2, 2, QImage::Format_RGB32);
    opaque.fill(QColor(200, 100, 50));
    f.img.drawImage(QRect(0, 0, 5, 5), opaque, opaque.rect());
    CHECK_EQ(f.count(0xffc86432u), 25);

    // Scaled or not, the target keeps its alpha (regression: the unscaled
    // copy was an RLE blit, which zeroed it under translucent pixels).
    QImage translucent(2, 2, QImage::Format_ARGB32);
    translucent.fill(QColor(255, 0, 0, 128));
    for (QRect const& target : {QRect(6, 0, 5, 5), QRect(12, 0, 2, 2)}) {
        f.img.drawImage(target, translucent, translucent.rect());
        CHECK(halfRedOverBlue(f.pixel(target.left() + 1, 1)));
    }
    f.img.fillRect(QRect(14, 0, 6, 4), QColor(0, 0, 255, 100));
    QImage mixed(2, 1, QImage::Format_ARGB32);
    mixed.setPixel(0, 0, 0xffff0000u);
    mixed.setPixel(1, 0, 0x80ff0000u);
    f.img.drawImage(QRect(14, 0, 2, 1), mixed, mixed.rect());
    f.img.drawImage(QRect(16, 0, 4, 2), mixed, mixed.rect());
    CHECK_EQ(f.pixel(14, 0), 0x64ff0000u);
    CHECK_EQ(f.pixel(16, 1), 0x64ff0000u);
    CHECK_EQ(f.pixel(15, 0) >> 24, 100u);
    CHECK_EQ(f.pixel(19, 1) >> 24, 100u);

    // fillRect stores the value, alpha included, over whatever was there.
    f.img.fillRect(QRect(0, 0, 3, 3), QColor(255, 0, 0, 128));
    CHECK_EQ(f.pixel(2, 2), 0x80ff0000u);
    CHECK_EQ(f.pixel(3, 3), 0xffc86432u);
    CHECK(f.img.endUpdate());
    return 0;
}

DTEST_CHILD(outlinesLieOnBorderPixels)
{
    SdlCanvas f(QSize(100, 100));
    CHECK(f.ready);
    CHECK(f.begin());
    f.img.drawRect(QRect(QPoint(10, 10), QPoint(19, 14)), QColor(0, 255, 0));
    const QImage one = f.pixels();
    CHECK_EQ(dtest::countPixels(one, 0xff00ff00u), 26);
    CHECK_EQ(one.pixel(10, 10), 0xff00ff00u);
    CHECK_EQ(one.pixel(19, 14), 0xff00ff00u);
    CHECK_EQ(one.pixel(11, 11), 0u);

    f.clear();
    f.img.drawRect(QRect(QPoint(10, -5), QPoint(19, 14)), QColor(0, 255, 0));
    const QImage cut = f.pixels();
    CHECK_EQ(dtest::countPixels(cut, 0xff00ff00u), 10 + 15 + 15 - 2);
    CHECK_EQ(cut.pixel(10, 0), 0xff00ff00u);
    CHECK_EQ(cut.pixel(19, 0), 0xff00ff00u);
    CHECK_EQ(cut.pixel(15, 0), 0u);
    CHECK_EQ(cut.pixel(15, 14), 0xff00ff00u);
    CHECK(f.img.endUpdate());
    return 0;
}

// Regression: rectangles were cut to SDL_Rect's 16-bit fields before
// clipping, so far-away or huge rectangles landed somewhere else.
DTEST_CHILD(rectanglesClippedBeforeConversion)
{
    SdlCanvas f(QSize(100, 100));
    CHECK(f.ready);
    CHECK(f.begin());
    const unsigned red = 0xffff0000u;

    f.img.fillRect(QRect(65536 + 10, 10, 5, 5), Qt::red);
    f.img.fillRect(QRect(10, -65536 + 10, 5, 5), Qt::red);
    f.img.fillRect(QRect(10, 10, -5, -5), Qt::red);
    f.img.drawRect(QRect(65536 + 10, 65536 + 10, 5, 5), Qt::red);
    f.img.drawImage(QRect(65536 + 10, 0, 4, 4), picture(4, 4), QRect(0, 0, 4, 4));
    f.img.drawImage(QRect(65536 + 10, 0, 8, 8), picture(4, 4), QRect(0, 0, 4, 4));
    CHECK_EQ(f.count(0u), 100 * 100);

    f.img.fillRect(QRect(QPoint(-70000, -70000), QPoint(70000, 70000)), Qt::red);
    CHECK_EQ(f.count(red), 100 * 100);

    f.clear();
    f.img.drawRect(QRect(QPoint(5, -70000), QPoint(70000, 20)), Qt::red);
    const QImage outline = f.pixels();
    CHECK_EQ(dtest::countPixels(outline, red), 21 + 95 - 1);
    CHECK_EQ(outline.pixel(5, 0), red);
    CHECK_EQ(outline.pixel(99, 20), red);

    f.clear();
    f.img.drawImage(QRect(QPoint(-70000, -70000), QPoint(69999, 69999)), picture(2, 2), QRect(0, 0, 2, 2));
    // (0, 0) is the first target column past the middle.
    CHECK_EQ(f.count(sourceValue(1, 1)), 100 * 100);
    CHECK(f.img.endUpdate());
    return 0;
}

// Regression: a source rectangle reaching outside the source was read in
// place, outside the source's memory. Only pixels that a source pixel inside
// the source maps to are drawn, at the places the whole copy would give them.
DTEST_CHILD(stretchReadsOnlyInsideSource)
{
    SdlCanvas f(QSize(24, 20));
    CHECK(f.ready);
    cUniImg src(&f.engine);
    CHECK(paintPicture(src, 4, 4));
    CHECK(f.begin());
    const unsigned bg = 0xff202020u;

    struct Case {
        QRect source, target;
    } const cases[] = {
        {QRect(-2, -2, 8, 8), QRect(0, 0, 16, 16)},
        {QRect(-3, 1, 10, 2), QRect(1, 2, 5, 9)},
        {QRect(2, 2, 5, 5), QRect(3, 3, 7, 7)},
        {QRect(-2, -2, 8, 8), QRect(-6, -3, 23, 30)},
        {QRect(-2, -2, 4, 4), QRect(0, 0, 4, 4)},        // same size, part outside
        {QRect(10, 10, 3, 3), QRect(0, 0, 6, 6)},        // wholly outside
        {QRect(-100000, 0, 200000, 4), QRect(0, 0, 24, 20)},
    };
    for (Case const& c : cases) {
        CHECK(checkStretch(f, f.img, c.target, src, c.source, bg) == 0);
        CHECK(checkStretch(f, f.img, c.target, picture(4, 4), c.source, bg) == 0);
    }
    CHECK(f.img.endUpdate());
    return 0;
}

// Regression: images of other formats were read as 32-bit pixels, past
// their end.
DTEST_CHILD(otherImageFormatsConverted)
{
    SdlCanvas f(QSize(40, 10));
    CHECK(f.ready);
    CHECK(f.begin());

    QImage indexed(3, 3, QImage::Format_Indexed8);
    indexed.setColorCount(1);
    indexed.setColor(0, 0xff00ff00u);
    indexed.fill(0);
    QImage mono(5, 3, QImage::Format_Mono);
    mono.setColorCount(2);
    mono.setColor(0, 0xff0000ffu);
    mono.setColor(1, 0xff0000ffu);
    mono.fill(1);
    QImage rgb16(7, 3, QImage::Format_RGB16);
    rgb16.fill(QColor(255, 0, 0));
    QImage rgb888(7, 3, QImage::Format_RGB888);
    rgb888.fill(QColor(255, 255, 255));

    int x = 0;
    for (QImage const* image : {&indexed, &mono, &rgb16, &rgb888}) {
        const unsigned expected = image->convertToFormat(QImage::Format_ARGB32).pixel(0, 0);
        f.clear();
        f.img.drawImage(QRect(x, 0, image->width(), image->height()), *image, image->rect());
        f.img.drawImage(QRect(x, 4, image->width() * 2, 5), *image, image->rect());
        CHECK_EQ(f.count(expected), image->width() * 3 + image->width() * 2 * 5);
        x += 4;
    }
    CHECK(f.img.endUpdate());
    return 0;
}

DTEST_CHILD(nothingToDrawFrom)
{
    SdlCanvas f(QSize(10, 10));
    CHECK(f.ready);
    cUniImg empty(&f.engine);
    cUniImg unsized(&f.engine);
    CHECK(paintPicture(unsized, 4, 4));
    unsized.mSize = QSize(-1, -1);
    CHECK(f.begin());
    f.img.drawImage(QRect(0, 0, 10, 10), empty, QRect(0, 0, 4, 4));
    f.img.drawImage(QRect(0, 0, 10, 10), unsized, QRect(0, 0, 4, 4));
    f.img.drawImage(QRect(0, 0, 10, 10), QImage(), QRect(0, 0, 4, 4));
    f.img.drawImage(QRect(0, 0, 10, 10), picture(4, 4), QRect(3, 3, -2, 2));
    f.img.drawImage(QRect(5, 5, -3, 2), picture(4, 4), QRect(0, 0, 4, 4));
    CHECK_EQ(f.count(0u), 100);
    // Drawing an image into itself.
    f.clear(Qt::black);
    f.img.fillRect(QRect(0, 0, 2, 2), Qt::red);
    f.img.drawImage(QRect(2, 2, 8, 8), f.img, QRect(0, 0, 4, 4));
    CHECK_EQ(f.count(0xffff0000u), 4 + 16);
    CHECK(f.img.endUpdate());
    return 0;
}

DTEST_CHILD(gradientBlendsEverySecondPixel)
{
    SdlCanvas f(QSize(16, 16));
    CHECK(f.ready);
    CHECK(f.begin());
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);

    f.img.drawGradient(QRect(0, 0, 4, 4), black, white);
    const QImage got = f.pixels();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            CHECK_EQ(got.pixel(x, y), (x % 2 && y % 2) ? 0xff7f7f7fu : 0xff000000u);
    CHECK_EQ(got.pixel(4, 0), 0u);
    CHECK_EQ(got.pixel(0, 4), 0u);

    f.img.drawGradient(QRect(0, 0, 6, 6), black, white);
    CHECK_EQ(f.pixel(3, 3), 0xffffffffu);
    f.img.drawGradient(QRect(0, 0, 5, 5), black, white);
    CHECK_EQ(dtest::countPixels(f.pixels().copy(0, 0, 5, 5), 0xffffffffu), 0);

    // Regression: a side of one pixel divided by zero.
    f.clear();
    f.img.drawGradient(QRect(2, 2, 1, 7), black, white);
    f.img.drawGradient(QRect(4, 2, 7, 1), black, white);
    f.img.drawGradient(QRect(12, 2, 1, 1), black, white);
    CHECK_EQ(f.count(0u), 256 - 7 - 7 - 1);
    CHECK(f.img.endUpdate());
    return 0;
}

// Regression: gradient rectangles reaching outside the surface were written
// outside its memory.
DTEST_CHILD(gradientClippedToSurface)
{
    SdlCanvas f(QSize(12, 9));
    CHECK(f.ready);
    const QColor c1(10, 20, 30, 200);
    const QColor c2(250, 240, 230, 255);

    cUniImg reference(&f.engine);
    reference.resize(40, 40);
    CHECK(reference.beginUpdate());
    reference.drawGradient(QRect(QPoint(10, 10), QPoint(30, 25)), c1, c2);
    CHECK(reference.endUpdate());
    const QImage whole = surfaceImage(f.surface(reference));

    CHECK(f.begin());
    // The same gradient seen through a 12 x 9 window at (13, 12).
    f.img.drawGradient(QRect(QPoint(-3, -2), QPoint(17, 13)), c1, c2);
    CHECK(f.pixels() == whole.copy(13, 12, 12, 9));

    f.clear();
    f.img.drawGradient(QRect(100, 100, 10, 10), c1, c2);
    f.img.drawGradient(QRect(-20, -20, 10, 10), c1, c2);
    CHECK_EQ(f.count(0u), 12 * 9);
    f.img.drawGradient(QRect(QPoint(-100000, -100000), QPoint(100000, 100000)), c1, c2);
    CHECK_EQ(f.count(0u), 0);
    CHECK(f.img.endUpdate());
    return 0;
}

class tst_SDLDrawing : public QObject
{
    Q_OBJECT

private slots:
    void stretchTakesLastSourcePixelOfSpan() { EXPECT_CHILD_PASSES("stretchTakesLastSourcePixelOfSpan"); }
    void sameSizeIsOneBlitWithSourceFlags() { EXPECT_CHILD_PASSES("sameSizeIsOneBlitWithSourceFlags"); }
    void opaqueImagesCopiedAlphaImagesBlended() { EXPECT_CHILD_PASSES("opaqueImagesCopiedAlphaImagesBlended"); }
    void outlinesLieOnBorderPixels() { EXPECT_CHILD_PASSES("outlinesLieOnBorderPixels"); }
    void rectanglesClippedBeforeConversion() { EXPECT_CHILD_PASSES("rectanglesClippedBeforeConversion"); }
    void stretchReadsOnlyInsideSource() { EXPECT_CHILD_PASSES("stretchReadsOnlyInsideSource"); }
    void otherImageFormatsConverted() { EXPECT_CHILD_PASSES("otherImageFormatsConverted"); }
    void nothingToDrawFrom() { EXPECT_CHILD_PASSES("nothingToDrawFrom"); }
    void gradientBlendsEverySecondPixel() { EXPECT_CHILD_PASSES("gradientBlendsEverySecondPixel"); }
    void gradientClippedToSurface() { EXPECT_CHILD_PASSES("gradientClippedToSurface"); }
};

DTEST_MAIN(tst_SDLDrawing)

#include "tst_sdldrawing.moc"
