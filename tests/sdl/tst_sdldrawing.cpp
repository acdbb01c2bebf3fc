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

bool near(int a, int b)
{
    return qAbs(a - b) <= 2;
}

} // namespace

DTEST_CHILD(stretchTakesLastSourcePixelOfSpan)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg img(&f.engine);
    img.resize(4, 1);
    CHECK(img.beginUpdate());
    SDL_Surface* s = f.surface(img);

    img.drawImage(QRect(0, 0, 4, 1), picture(2, 1), QRect(0, 0, 2, 1));
    CHECK_EQ(pixelAt(s, 0, 0), sourceValue(0, 0));
    CHECK_EQ(pixelAt(s, 1, 0), sourceValue(0, 0));
    CHECK_EQ(pixelAt(s, 2, 0), sourceValue(1, 0));
    CHECK_EQ(pixelAt(s, 3, 0), sourceValue(1, 0));

    img.fillRect(img.rect(), QColor(0, 0, 0, 0));
    img.drawImage(QRect(0, 0, 2, 1), picture(4, 1), QRect(0, 0, 4, 1));
    CHECK_EQ(pixelAt(s, 0, 0), sourceValue(1, 0));
    CHECK_EQ(pixelAt(s, 1, 0), sourceValue(3, 0));
    CHECK_EQ(pixelAt(s, 2, 0), 0u);

    img.drawImage(QRect(0, 0, 2, 1), picture(3, 1), QRect(0, 0, 3, 1));
    CHECK_EQ(pixelAt(s, 0, 0), sourceValue(1, 0));
    CHECK_EQ(pixelAt(s, 1, 0), sourceValue(2, 0));
    CHECK(img.endUpdate());

    // Both directions at once, from part of a picture and from a handle.
    cUniImg src(&f.engine);
    CHECK(paintPicture(src, 9, 7));
    cUniImg big(&f.engine);
    big.resize(30, 20);
    const unsigned bg = 0xff123456u;
    CHECK(big.beginUpdate());
    big.fillRect(big.rect(), QColor::fromRgba(bg));
    big.drawImage(QRect(2, 1, 13, 3), picture(9, 7), QRect(1, 2, 7, 5));
    CHECK(checkScaled(f.surface(big), QRect(1, 2, 7, 5), QRect(2, 1, 13, 3), QSize(9, 7), bg) == 0);
    big.fillRect(big.rect(), QColor::fromRgba(bg));
    big.drawImage(QRect(3, 2, 22, 17), src, QRect(0, 1, 9, 5));
    CHECK(checkScaled(f.surface(big), QRect(0, 1, 9, 5), QRect(3, 2, 22, 17), QSize(9, 7), bg) == 0);
    CHECK(big.endUpdate());
    return 0;
}

DTEST_CHILD(sameSizeIsOneBlitWithSourceFlags)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg src(&f.engine);
    src.resize(4, 4);
    CHECK(src.beginUpdate());
    src.fillRect(src.rect(), QColor(255, 0, 0, 128));
    CHECK(src.endUpdate());

    cUniImg dst(&f.engine);
    dst.resize(16, 8);
    CHECK(dst.beginUpdate());
    dst.fillRect(dst.rect(), QColor(0, 0, 255));
    SDL_Surface* d = f.surface(dst);

    // With SDL_SRCALPHA the source blends by its alpha; the target keeps its alpha.
    dst.drawImage(QRect(0, 0, 4, 4), src, src.rect());
    const QColor blended = QColor::fromRgba(pixelAt(d, 1, 1));
    CHECK(near(blended.red(), 128) && near(blended.blue(), 127) && blended.green() == 0);
    CHECK_EQ(blended.alpha(), 255);

    // The same-size copy is a direct blit: it follows the source surface's
    // own flags, so without SDL_SRCALPHA the raw value is copied.
    SDL_SetAlpha(f.surface(src), 0, 255);
    dst.drawImage(QRect(4, 0, 4, 4), src, src.rect());
    CHECK_EQ(pixelAt(d, 5, 1), 0x80ff0000u);
    // A scaled copy goes through the engine's own stretch surface, which blends.
    dst.drawImage(QRect(8, 0, 8, 8), src, src.rect());
    CHECK_EQ(pixelAt(d, 9, 1), pixelAt(d, 1, 1));
    CHECK(dst.endUpdate());
    return 0;
}

DTEST_CHILD(opaqueImagesCopiedAlphaImagesBlended)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg dst(&f.engine);
    dst.resize(20, 10);
    CHECK(dst.beginUpdate());
    SDL_Surface* d = f.surface(dst);
    dst.fillRect(dst.rect(), QColor(0, 0, 255, 255));

    QImage opaque(2, 2, QImage::Format_RGB32);
    opaque.fill(QColor(200, 100, 50));
    dst.drawImage(QRect(0, 0, 5, 5), opaque, opaque.rect());
    CHECK_EQ(dtest::countPixels(surfaceImage(d), 0xffc86432u), 25);

    // Scaled or not, the target keeps its alpha (regression: the unscaled
    // copy was an RLE blit, which zeroed it under translucent pixels).
    QImage translucent(2, 2, QImage::Format_ARGB32);
    translucent.fill(QColor(255, 0, 0, 128));
    for (QRect const& target : {QRect(6, 0, 5, 5), QRect(12, 0, 2, 2)}) {
        dst.drawImage(target, translucent, translucent.rect());
        const QColor c = QColor::fromRgba(pixelAt(d, target.left() + 1, 1));
        CHECK(near(c.red(), 128) && near(c.blue(), 127) && c.green() == 0);
        CHECK_EQ(c.alpha(), 255);
    }
    dst.fillRect(QRect(14, 0, 6, 4), QColor(0, 0, 255, 100));
    QImage mixed(2, 1, QImage::Format_ARGB32);
    mixed.setPixel(0, 0, 0xffff0000u);
    mixed.setPixel(1, 0, 0x80ff0000u);
    dst.drawImage(QRect(14, 0, 2, 1), mixed, mixed.rect());
    dst.drawImage(QRect(16, 0, 4, 2), mixed, mixed.rect());
    CHECK_EQ(pixelAt(d, 14, 0), 0x64ff0000u);
    CHECK_EQ(pixelAt(d, 16, 1), 0x64ff0000u);
    CHECK_EQ(pixelAt(d, 15, 0) >> 24, 100u);
    CHECK_EQ(pixelAt(d, 19, 1) >> 24, 100u);

    // fillRect stores the value, alpha included, over whatever was there.
    dst.fillRect(QRect(0, 0, 3, 3), QColor(255, 0, 0, 128));
    CHECK_EQ(pixelAt(d, 2, 2), 0x80ff0000u);
    CHECK_EQ(pixelAt(d, 3, 3), 0xffc86432u);
    CHECK(dst.endUpdate());
    return 0;
}

DTEST_CHILD(outlinesLieOnBorderPixels)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg img(&f.engine);
    img.resize(100, 100);
    CHECK(img.beginUpdate());
    SDL_Surface* s = f.surface(img);
    img.drawRect(QRect(QPoint(10, 10), QPoint(19, 14)), QColor(0, 255, 0));
    const QImage one = surfaceImage(s);
    CHECK_EQ(dtest::countPixels(one, 0xff00ff00u), 26);
    CHECK_EQ(one.pixel(10, 10), 0xff00ff00u);
    CHECK_EQ(one.pixel(19, 14), 0xff00ff00u);
    CHECK_EQ(one.pixel(11, 11), 0u);

    img.fillRect(img.rect(), QColor(0, 0, 0, 0));
    img.drawRect(QRect(QPoint(10, -5), QPoint(19, 14)), QColor(0, 255, 0));
    const QImage cut = surfaceImage(s);
    CHECK_EQ(dtest::countPixels(cut, 0xff00ff00u), 10 + 15 + 15 - 2);
    CHECK_EQ(cut.pixel(10, 0), 0xff00ff00u);
    CHECK_EQ(cut.pixel(19, 0), 0xff00ff00u);
    CHECK_EQ(cut.pixel(15, 0), 0u);
    CHECK_EQ(cut.pixel(15, 14), 0xff00ff00u);
    CHECK(img.endUpdate());
    return 0;
}

// Regression: rectangles were cut to SDL_Rect's 16-bit fields before
// clipping, so far-away or huge rectangles landed somewhere else.
DTEST_CHILD(rectanglesClippedBeforeConversion)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg img(&f.engine);
    img.resize(100, 100);
    CHECK(img.beginUpdate());
    SDL_Surface* s = f.surface(img);
    const unsigned red = 0xffff0000u;

    img.fillRect(QRect(65536 + 10, 10, 5, 5), Qt::red);
    img.fillRect(QRect(10, -65536 + 10, 5, 5), Qt::red);
    img.fillRect(QRect(10, 10, -5, -5), Qt::red);
    img.drawRect(QRect(65536 + 10, 65536 + 10, 5, 5), Qt::red);
    img.drawImage(QRect(65536 + 10, 0, 4, 4), picture(4, 4), QRect(0, 0, 4, 4));
    img.drawImage(QRect(65536 + 10, 0, 8, 8), picture(4, 4), QRect(0, 0, 4, 4));
    CHECK_EQ(dtest::countPixels(surfaceImage(s), 0u), 100 * 100);

    img.fillRect(QRect(QPoint(-70000, -70000), QPoint(70000, 70000)), Qt::red);
    CHECK_EQ(dtest::countPixels(surfaceImage(s), red), 100 * 100);

    img.fillRect(img.rect(), QColor(0, 0, 0, 0));
    img.drawRect(QRect(QPoint(5, -70000), QPoint(70000, 20)), Qt::red);
    const QImage outline = surfaceImage(s);
    CHECK_EQ(dtest::countPixels(outline, red), 21 + 95 - 1);
    CHECK_EQ(outline.pixel(5, 0), red);
    CHECK_EQ(outline.pixel(99, 20), red);

    img.fillRect(img.rect(), QColor(0, 0, 0, 0));
    img.drawImage(QRect(QPoint(-70000, -70000), QPoint(69999, 69999)), picture(2, 2), QRect(0, 0, 2, 2));
    const QImage scaled = surfaceImage(s);
    // (0, 0) is the first target column past the middle.
    CHECK_EQ(dtest::countPixels(scaled, sourceValue(1, 1)), 100 * 100);
    CHECK(img.endUpdate());
    return 0;
}

// Regression: a source rectangle reaching outside the source was read in
// place, outside the source's memory. Only pixels that a source pixel inside
// the source maps to are drawn, at the places the whole copy would give them.
DTEST_CHILD(stretchReadsOnlyInsideSource)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg src(&f.engine);
    CHECK(paintPicture(src, 4, 4));
    cUniImg img(&f.engine);
    img.resize(24, 20);
    CHECK(img.beginUpdate());
    SDL_Surface* s = f.surface(img);
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
        img.fillRect(img.rect(), QColor::fromRgba(bg));
        img.drawImage(c.target, src, c.source);
        CHECK(checkScaled(s, c.source, c.target, QSize(4, 4), bg) == 0);
        img.fillRect(img.rect(), QColor::fromRgba(bg));
        img.drawImage(c.target, picture(4, 4), c.source);
        CHECK(checkScaled(s, c.source, c.target, QSize(4, 4), bg) == 0);
    }
    CHECK(img.endUpdate());
    return 0;
}

// Regression: images of other formats were read as 32-bit pixels, past
// their end.
DTEST_CHILD(otherImageFormatsConverted)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg img(&f.engine);
    img.resize(40, 10);
    CHECK(img.beginUpdate());
    SDL_Surface* s = f.surface(img);

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
        img.fillRect(img.rect(), QColor(0, 0, 0, 0));
        img.drawImage(QRect(x, 0, image->width(), image->height()), *image, image->rect());
        img.drawImage(QRect(x, 4, image->width() * 2, 5), *image, image->rect());
        const QImage got = surfaceImage(s);
        CHECK_EQ(dtest::countPixels(got, expected), image->width() * 3 + image->width() * 2 * 5);
        x += 4;
    }
    CHECK(img.endUpdate());
    return 0;
}

DTEST_CHILD(nothingToDrawFrom)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg img(&f.engine);
    img.resize(10, 10);
    cUniImg empty(&f.engine);
    cUniImg unsized(&f.engine);
    CHECK(paintPicture(unsized, 4, 4));
    unsized.mSize = QSize(-1, -1);
    CHECK(img.beginUpdate());
    img.drawImage(QRect(0, 0, 10, 10), empty, QRect(0, 0, 4, 4));
    img.drawImage(QRect(0, 0, 10, 10), unsized, QRect(0, 0, 4, 4));
    img.drawImage(QRect(0, 0, 10, 10), QImage(), QRect(0, 0, 4, 4));
    img.drawImage(QRect(0, 0, 10, 10), picture(4, 4), QRect(3, 3, -2, 2));
    img.drawImage(QRect(5, 5, -3, 2), picture(4, 4), QRect(0, 0, 4, 4));
    CHECK_EQ(dtest::countPixels(surfaceImage(f.surface(img)), 0u), 100);
    // Drawing an image into itself.
    img.fillRect(img.rect(), Qt::black);
    img.fillRect(QRect(0, 0, 2, 2), Qt::red);
    img.drawImage(QRect(2, 2, 8, 8), img, QRect(0, 0, 4, 4));
    CHECK_EQ(dtest::countPixels(surfaceImage(f.surface(img)), 0xffff0000u), 4 + 16);
    CHECK(img.endUpdate());
    return 0;
}

DTEST_CHILD(gradientBlendsEverySecondPixel)
{
    SdlFixture f;
    CHECK(f.ready);
    cUniImg img(&f.engine);
    img.resize(16, 16);
    CHECK(img.beginUpdate());
    SDL_Surface* s = f.surface(img);
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);

    img.drawGradient(QRect(0, 0, 4, 4), black, white);
    QImage got = surfaceImage(s);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            CHECK_EQ(got.pixel(x, y), (x % 2 && y % 2) ? 0xff7f7f7fu : 0xff000000u);
    CHECK_EQ(got.pixel(4, 0), 0u);
    CHECK_EQ(got.pixel(0, 4), 0u);

    img.drawGradient(QRect(0, 0, 6, 6), black, white);
    CHECK_EQ(pixelAt(s, 3, 3), 0xffffffffu);
    img.drawGradient(QRect(0, 0, 5, 5), black, white);
    got = surfaceImage(s).copy(0, 0, 5, 5);
    CHECK_EQ(dtest::countPixels(got, 0xffffffffu), 0);

    // Regression: a side of one pixel divided by zero.
    img.fillRect(img.rect(), QColor(0, 0, 0, 0));
    img.drawGradient(QRect(2, 2, 1, 7), black, white);
    img.drawGradient(QRect(4, 2, 7, 1), black, white);
    img.drawGradient(QRect(12, 2, 1, 1), black, white);
    got = surfaceImage(s);
    CHECK_EQ(dtest::countPixels(got, 0u), 256 - 7 - 7 - 1);
    CHECK(img.endUpdate());
    return 0;
}

// Regression: gradient rectangles reaching outside the surface were written
// outside its memory.
DTEST_CHILD(gradientClippedToSurface)
{
    SdlFixture f;
    CHECK(f.ready);
    const QColor c1(10, 20, 30, 200);
    const QColor c2(250, 240, 230, 255);

    cUniImg reference(&f.engine);
    reference.resize(40, 40);
    CHECK(reference.beginUpdate());
    reference.drawGradient(QRect(QPoint(10, 10), QPoint(30, 25)), c1, c2);
    CHECK(reference.endUpdate());
    const QImage whole = surfaceImage(f.surface(reference));

    cUniImg img(&f.engine);
    img.resize(12, 9);
    CHECK(img.beginUpdate());
    // The same gradient seen through a 12 x 9 window at (13, 12).
    img.drawGradient(QRect(QPoint(-3, -2), QPoint(17, 13)), c1, c2);
    CHECK(surfaceImage(f.surface(img)) == whole.copy(13, 12, 12, 9));

    img.fillRect(img.rect(), QColor(0, 0, 0, 0));
    img.drawGradient(QRect(100, 100, 10, 10), c1, c2);
    img.drawGradient(QRect(-20, -20, 10, 10), c1, c2);
    CHECK_EQ(dtest::countPixels(surfaceImage(f.surface(img)), 0u), 12 * 9);
    img.drawGradient(QRect(QPoint(-100000, -100000), QPoint(100000, 100000)), c1, c2);
    CHECK_EQ(dtest::countPixels(surfaceImage(f.surface(img)), 0u), 0);
    CHECK(img.endUpdate());
    return 0;
}

class tst_SDLDrawing : public QObject
{
    Q_OBJECT

private slots:
    void stretchTakesLastSourcePixelOfSpan() { RUN_CHILD(stretchTakesLastSourcePixelOfSpan); }
    void sameSizeIsOneBlitWithSourceFlags() { RUN_CHILD(sameSizeIsOneBlitWithSourceFlags); }
    void opaqueImagesCopiedAlphaImagesBlended() { RUN_CHILD(opaqueImagesCopiedAlphaImagesBlended); }
    void outlinesLieOnBorderPixels() { RUN_CHILD(outlinesLieOnBorderPixels); }
    void rectanglesClippedBeforeConversion() { RUN_CHILD(rectanglesClippedBeforeConversion); }
    void stretchReadsOnlyInsideSource() { RUN_CHILD(stretchReadsOnlyInsideSource); }
    void otherImageFormatsConverted() { RUN_CHILD(otherImageFormatsConverted); }
    void nothingToDrawFrom() { RUN_CHILD(nothingToDrawFrom); }
    void gradientBlendsEverySecondPixel() { RUN_CHILD(gradientBlendsEverySecondPixel); }
    void gradientClippedToSurface() { RUN_CHILD(gradientClippedToSurface); }
};

DTEST_MAIN(tst_SDLDrawing)

#include "tst_sdldrawing.moc"
