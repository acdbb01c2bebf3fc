#include "glyphbytes_p.h"

#include <iterator>

namespace {

// The characters of bytes 0x80 to 0xff; 0x98, which Windows-1251 leaves
// unassigned, stands for U+0098.
const char16_t kUpperHalf[128] = {
    0x0402, 0x0403, 0x201a, 0x0453, 0x201e, 0x2026, 0x2020, 0x2021, 0x20ac, 0x2030, 0x0409, 0x2039, 0x040a, 0x040c,
    0x040b, 0x040f, 0x0452, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203a,
    0x045a, 0x045c, 0x045b, 0x045f, 0x00a0, 0x040e, 0x045e, 0x0408, 0x00a4, 0x0490, 0x00a6, 0x00a7, 0x0401, 0x00a9,
    0x0404, 0x00ab, 0x00ac, 0x00ad, 0x00ae, 0x0407, 0x00b0, 0x00b1, 0x0406, 0x0456, 0x0491, 0x00b5, 0x00b6, 0x00b7,
    0x0451, 0x2116, 0x0454, 0x00bb, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415,
    0x0416, 0x0417, 0x0418, 0x0419, 0x041a, 0x041b, 0x041c, 0x041d, 0x041e, 0x041f, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042a, 0x042b, 0x042c, 0x042d, 0x042e, 0x042f, 0x0430, 0x0431,
    0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043a, 0x043b, 0x043c, 0x043d, 0x043e, 0x043f,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044a, 0x044b, 0x044c, 0x044d,
    0x044e, 0x044f,
};

// Characters written as nothing at all: the default-ignorable ones (joiners,
// direction marks, variation selectors, tags ...).
struct Range {
    char32_t first, last;
};
const Range kDropped[] = {
    {0x034f, 0x034f}, {0x061c, 0x061c}, {0x115f, 0x1160}, {0x17b4, 0x17b5},   {0x180b, 0x180f}, {0x200b, 0x200f},
    {0x202a, 0x202e}, {0x2060, 0x206f}, {0x3164, 0x3164}, {0xfe00, 0xfe0f},   {0xfeff, 0xfeff}, {0xffa0, 0xffa0},
    {0xfff0, 0xfff8}, {0x1bca0, 0x1bca3}, {0x1d173, 0x1d17a}, {0xe0000, 0xe0fff},
};

const qint16 kNoByte = -1;

bool dropped(char32_t c)
{
    for (Range const& r : kDropped)
        if (c >= r.first && c <= r.last)
            return true;
    return false;
}

// The byte of every UTF-16 code unit outside the surrogates: itself below
// 0x80, its place in the upper half, nothing when dropped, else '?'.
class Cp1251Table
{
public:
    static Cp1251Table const& instance()
    {
        static const Cp1251Table table;
        return table;
    }

    void convert(QString const& text, UniFontMapNS::GlyphBytes& out) const
    {
        out.clear();
        out.reserve(text.size());
        const int size = text.size();
        for (int i = 0; i < size; ++i) {
            const QChar c = text.at(i);
            if (!c.isSurrogate()) {
                if (mBytes[c.unicode()] != kNoByte)
                    out.append(uchar(mBytes[c.unicode()]));
                continue;
            }
            // Every character beyond the first plane is missing from the code
            // page; a high surrogate that ends the text is still waiting for
            // its pair and is written as nothing.
            if (c.isHighSurrogate() && i + 1 == size)
                break;
            if (c.isHighSurrogate() && text.at(i + 1).isLowSurrogate()) {
                if (dropped(QChar::surrogateToUcs4(c, text.at(++i))))
                    continue;
            }
            out.append('?');
        }
    }

private:
    Cp1251Table()
    {
        for (int u = 0; u < 0x10000; ++u)
            mBytes[u] = u < 0x80 ? qint16(u) : dropped(char32_t(u)) ? kNoByte : qint16('?');
        for (int b = 0; b < int(std::size(kUpperHalf)); ++b)
            mBytes[kUpperHalf[b]] = qint16(0x80 + b);
    }

    qint16 mBytes[0x10000];
};

} // namespace

void UniFontMapNS::toGlyphBytes(QString const& text, GlyphBytes& out)
{
    Cp1251Table::instance().convert(text, out);
}
