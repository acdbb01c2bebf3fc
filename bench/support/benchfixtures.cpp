#include "benchfixtures.h"

#include <atlasfile.h>

#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#if QT_VERSION_MAJOR < 6
#include <QTextCodec>
#else
#include <cp1251table_p.h>
#endif
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace dbench {

QImage picture(QSize size, QImage::Format format, int shift)
{
    QImage img(size, format);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            row[x] = qRgb((x + shift * 16) & 0xff, (y + shift * 8) & 0xff, (x ^ y) & 0xff);
    }
    return img;
}

namespace {
int gGlyphWidth = 0;  // makeSynthetic takes a plain function
int glyphWidth(int)
{
    return gGlyphWidth;
}
} // namespace

std::unique_ptr<cUniFontMap> syntheticFont(QString const& dir, QSize glyph, int border, Glyphs glyphs)
{
    const cFontInfo info(QStringLiteral("BenchSans"), 10, -1, border, QColor(255, 255, 255), QColor(0, 0, 0), false);
    gGlyphWidth = glyph.width();
    const bool solid = glyphs == Glyphs::Solid;
    atlasfile::Synthetic atlas = atlasfile::makeSynthetic(glyphWidth, glyph.height(), border,
                                                          solid ? qRgb(255, 255, 255) : 0, solid ? qRgb(0, 0, 0) : 0);
    if (!solid) {
        QPainter p(&atlas.image);
        p.setPen(Qt::white);
        for (int b = 33; b < 127; ++b)
            p.drawText(atlas.boxes[b], Qt::AlignCenter, QString(QChar(b)));
    }
    if (!atlasfile::writeAtlas(cFontInfo::makeCacheBasePath(dir), info.mName, atlas.image, atlas.boxes))
        return nullptr;
    std::unique_ptr<cUniFontMap> font(new cUniFontMap(info));
    if (font->image().size() != atlas.image.size())
        return nullptr;
    return font;
}

bool showExposed(QWidget& widget)
{
    widget.show();
    QElapsedTimer waited;
    waited.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return widget.windowHandle() && widget.windowHandle()->isExposed();
}

double threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

void plainGradient(uchar* first, int pitch, int width, int height, QRgb c1, QRgb c2)
{
    const int W = width, H = height, halfW = W / 2, halfH = H / 2;
    for (int y = 0; y < H; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(first + y * pitch);
        for (int x = 0; x < W; ++x) {
            QRgb value = c1;
            if ((W - x) % 2 == 1 && (H - y) % 2 == 1) {
                const int a = std::abs(x + halfW - W) * 256 / halfW;
                const int b = std::abs(y + halfH - H) * 256 / halfH;
                const int k = std::max(256 - std::max(a, b), 0);
                value = 0;
                for (int s = 0; s < 32; s += 8) {
                    const int p = (c1 >> s) & 0xff, q = (c2 >> s) & 0xff;
                    value |= QRgb((p + (((q - p) * k) >> 8)) & 0xff) << s;
                }
            }
            row[x] = value;
        }
    }
}

std::vector<GlyphCopy> labelGlyphs(cUniFontMap const& font, QString const& text, QRect const& rect, bool centred,
                                   int grow, int extraAdvance)
{
#if QT_VERSION_MAJOR < 6
    const QByteArray bytes = QTextCodec::codecForName("WINDOWS-1251")->fromUnicode(text);
#else
    // No codec on Qt 6: each character's place in the code page, '?' without one.
    QByteArray bytes;
    auto const& upper = UniFontMapNS::kCp1251UpperHalf;
    for (QChar c : text) {
        const auto at = std::find(std::begin(upper), std::end(upper), c.unicode());
        bytes += c.unicode() < 0x80 ? char(c.unicode()) : at != std::end(upper) ? char(0x80 + (at - upper)) : '?';
    }
#endif
    qint64 width = 0;
    int height = 0;
    for (char c : bytes) {
        width += font.LetterRect(uchar(c)).width() + extraAdvance;
        height = qMax(height, font.LetterRect(uchar(c)).height());
    }
    int x = centred ? rect.left() + rect.width() / 2 - int(width / 2) : rect.left();
    const int y = rect.top() + rect.height() / 2 - height / 2;
    std::vector<GlyphCopy> copies;
    for (char c : bytes) {
        QRect const& g = font.LetterRect(uchar(c));
        const QSize cell = g.size() + QSize(grow, grow);
        copies.push_back({QRect(g.topLeft(), cell), QRect(QPoint(x, y), cell)});
        x += g.width() + extraAdvance;
    }
    return copies;
}

} // namespace dbench
