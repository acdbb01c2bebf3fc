#include "cp1251table_p.h"
#include "glyphbytes_p.h"

#include <iterator>

namespace {

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
        for (int b = 0; b < int(std::size(UniFontMapNS::kCp1251UpperHalf)); ++b)
            mBytes[UniFontMapNS::kCp1251UpperHalf[b]] = qint16(0x80 + b);
    }

    qint16 mBytes[0x10000];
};

} // namespace

void UniFontMapNS::toGlyphBytes(QString const& text, GlyphBytes& out)
{
    Cp1251Table::instance().convert(text, out);
}
