#ifndef DORURIZAR_GLYPHBYTES_P_H
#define DORURIZAR_GLYPHBYTES_P_H

// Not installed: shared by the engines and the font maps inside the library.

#include <QString>
#include <QVarLengthArray>

namespace UniFontMapNS {

using GlyphBytes = QVarLengthArray<uchar, 256>;

// The atlas glyph indices of text: its bytes in the "WINDOWS-1251" codec,
// exactly as that codec converts, including what it substitutes for
// characters the code page lacks. The codec is asked once, for every UTF-16
// code unit, and a table answers from then on: a label is converted without
// a codec call and, up to 256 characters, without allocating.
void toGlyphBytes(QString const& text, GlyphBytes& out);

} // namespace UniFontMapNS

#endif
