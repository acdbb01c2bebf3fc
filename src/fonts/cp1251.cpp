#include "glyphbytes_p.h"

#include <QTextCodec>

namespace {

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
        bool direct = mValid;
        for (QChar c : text)
            direct = direct && !c.isSurrogate();
        if (direct) {
            out.resize(text.size());
            uchar* bytes = out.data();
            for (QChar c : text)
                *bytes++ = mBytes[c.unicode()];
            return;
        }
        // A surrogate pair is one character to the codec: let it decide.
        const QByteArray bytes = mCodec ? mCodec->fromUnicode(text) : text.toLatin1();
        out.append(reinterpret_cast<uchar const*>(bytes.constData()), bytes.size());
    }

private:
    Cp1251Table()
        : mCodec(QTextCodec::codecForName("WINDOWS-1251"))
    {
        if (!mCodec)
            return;
        QString all;
        all.reserve(0x10000);
        for (int u = 0; u < 0x10000; ++u)
            if (!QChar(ushort(u)).isSurrogate())
                all.append(QChar(ushort(u)));
        const QByteArray bytes = mCodec->fromUnicode(all);
        if (bytes.size() != all.size())
            return;  // not one byte per character: keep asking the codec
        for (int i = 0; i < all.size(); ++i)
            mBytes[all.at(i).unicode()] = uchar(bytes.at(i));
        mValid = true;
    }

    QTextCodec* mCodec;
    bool mValid = false;
    uchar mBytes[0x10000] = {};
};

} // namespace

void UniFontMapNS::toGlyphBytes(QString const& text, GlyphBytes& out)
{
    Cp1251Table::instance().convert(text, out);
}
