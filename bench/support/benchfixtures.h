#ifndef DORURIZAR_BENCHFIXTURES_H
#define DORURIZAR_BENCHFIXTURES_H

// What several benchmarks build alike: camera-like pictures, a synthetic font
// map, a shown window, a plain gradient loop, and the glyph copies a bare
// painter makes for a label.

#include <QImage>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

class QWidget;
class cUniFontMap;

namespace dbench {

// A camera-like picture; `shift` moves its pattern, so pictures of different
// shifts differ in every pixel.
QImage picture(QSize size, QImage::Format format, int shift = 0);

// How a synthetic atlas fills its glyph boxes. Blitters skip clear pixels and
// copy opaque ones, so letters on clear cells cost what real text does.
enum class Glyphs {
    Solid,    // white boxes with a black border ring
    Letters,  // the printable ASCII letters in white on clear cells
};

// Writes an atlas of 256 glyph boxes of `glyph` size into the font cache at
// `dir` and loads it as a font map; null when it did not load.
std::unique_ptr<cUniFontMap> syntheticFont(QString const& dir, QSize glyph, int border, Glyphs glyphs);

// Shows the widget and waits up to five seconds for the window system to
// expose it; false when it never was.
bool showExposed(QWidget& widget);

// CPU nanoseconds of the calling thread: wall time would count the other
// processes sharing the machine.
double threadCpuNs();

// The engines' gradient written the obvious way, every pixel deciding for
// itself: `height` rows of `width` 32-bit pixels from `first`, `pitch` bytes apart.
void plainGradient(uchar* first, int pitch, int width, int height, QRgb c1, QRgb c2);

struct GlyphCopy {
    QRect from;  // in the atlas
    QRect to;    // in the target
};

// The copies an engine's drawText makes for `text` in `rect` (left aligned or
// horizontally centred, always vertically centred): each glyph's cell grows by
// `grow` pixels right and down, and the pen advances by the glyph's width plus
// `extraAdvance`.
std::vector<GlyphCopy> labelGlyphs(cUniFontMap const& font, QString const& text, QRect const& rect, bool centred,
                                   int grow, int extraAdvance);

} // namespace dbench

#endif
