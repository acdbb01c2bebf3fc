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
            out.reserve(text.size());
            for (QChar c : text)
                if (mBytes[c.unicode()] != kDropped)
                    out.append(uchar(mBytes[c.unicode()]));
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
        // One code unit at a time: the codec drops some characters (format
        // and ignorable ones) without a byte, so a whole-string conversion
        // does not line up with its input.
        for (int u = 0; u < 0x10000; ++u) {
            const QChar c{ushort(u)};
            if (c.isSurrogate())
                continue;
            QTextCodec::ConverterState state;
            const QByteArray bytes = mCodec->fromUnicode(&c, 1, &state);
            if (bytes.size() > 1)
                return;  // not a single-byte code page: keep asking the codec
            mBytes[u] = bytes.isEmpty() ? kDropped : qint16(uchar(bytes.at(0)));
        }
        mValid = true;
    }

    static const qint16 kDropped = -1;

    QTextCodec* mCodec;
    bool mValid = false;
    qint16 mBytes[0x10000] = {};
};

} // namespace

void UniFontMapNS::toGlyphBytes(QString const& text, GlyphBytes& out)
{
    Cp1251Table::instance().convert(text, out);
}
