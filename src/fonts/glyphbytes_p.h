#ifndef DORURIZAR_GLYPHBYTES_P_H
#define DORURIZAR_GLYPHBYTES_P_H

// Not installed: shared by the engines and the font maps inside the library.

#include <QString>
#include <QVarLengthArray>

namespace UniFontMapNS {

using GlyphBytes = QVarLengthArray<uchar, 256>;

// The atlas glyph indices of text: its bytes in Windows-1251, exactly as
// Qt 5's "WINDOWS-1251" codec writes them, including the '?' for characters
// the code page lacks and nothing for default-ignorable ones. A table in the
// library answers, so a label is converted without a codec and, up to 256
// characters, without allocating.
void toGlyphBytes(QString const& text, GlyphBytes& out);

} // namespace UniFontMapNS

#endif
