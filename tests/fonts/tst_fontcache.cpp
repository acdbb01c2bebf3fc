// The atlas cache: scanning, loading rules, the choice of an atlas, shared
// nodes, the font handle and string measuring. The registry is process-wide
// and filled once, so every case runs in a child with its own cache.

#include <childcheck.h>

#include <dorurizar/unifontmap.h>
#include <atlasfile.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

QString cacheIn(QTemporaryDir const& tmp)
{
    return cFontInfo::makeCacheBasePath(tmp.path() + QStringLiteral("/cache"));
}

int widthSix(int b)
{
    return b >= 32 ? 6 : 0;
}

bool writeSolid(QString const& name, int border = 1)
{
    const atlasfile::Synthetic a = atlasfile::makeSynthetic(widthSix, 10, border, 0xffff0000, 0xff000000);
    return atlasfile::writeAtlas(cFontInfo::mCachePath, name, a.image, a.boxes);
}

// The registry follows the unsorted directory listing, as the scan sees it.
QStringList listing()
{
    QStringList names;
    const QStringList files = QDir(cFontInfo::mCachePath)
                                  .entryList(QStringList(QStringLiteral("*.png")),
                                             QDir::Files | QDir::Readable | QDir::Hidden | QDir::System
                                                 | QDir::NoDotAndDotDot,
                                             QDir::NoSort);
    for (QString const& f : files)
        names << f.chopped(4);
    return names;
}

QStringList registryNames()
{
    QStringList names;
    for (cUniFontMap::node* n : cUniFontMap::node::mNodes)
        names << n->mInfo.mName;
    return names;
}

cFontInfo request(QString const& family, int size, int weight, int border, QRgb color,
                  QRgb borderColor = 0xff000000)
{
    return cFontInfo(family, size, weight, border, QColor::fromRgba(color), QColor::fromRgba(borderColor), false);
}

} // namespace

DTEST_CHILD(emptyCacheFailsAndScansAgain)
{
    QTemporaryDir tmp;
    cacheIn(tmp);
    cUniFontMap map;
    CHECK(!map.cacheLookup(request("T", 10, -1, 1, 0xffff0000)));
    CHECK(map.mNode == nullptr);
    CHECK(cUniFontMap::node::mNodes.isEmpty());
    CHECK(writeSolid(QStringLiteral("T_10_-1_1_ffff0000_ff000000")));
    CHECK(map.cacheLookup(request("T", 10, -1, 1, 0xffff0000)));
    CHECK_EQ(cUniFontMap::node::mNodes.size(), 1);
    return 0;
}

DTEST_CHILD(defaultSetLoadedOnceThenNoFileRead)
{
    QTemporaryDir tmp;
    const QString dir = cacheIn(tmp);
    for (char const* name : cUniFontMap::mDefaultFontSet)
        CHECK(writeSolid(QString::fromLatin1(name)));
    cUniFontMap first(cFontInfo(cUniFontMap::mDefaultFontSet[4]));
    CHECK_EQ(cUniFontMap::node::mNodes.size(), 12);
    CHECK_EQ(registryNames(), listing());

    // Later lookups must be served from memory alone.
    CHECK(QDir(dir).removeRecursively());
    for (char const* name : cUniFontMap::mDefaultFontSet) {
        cUniFontMap map(cFontInfo{name});
        CHECK(map.mNode != nullptr);
        CHECK_EQ(map.mNode->mInfo.mName, QString::fromLatin1(name));
        CHECK_EQ(map.LetterRect('A').width(), 6);
        CHECK(!map.image().isNull());
    }
    CHECK_EQ(cUniFontMap::node::mNodes.size(), 12);
    return 0;
}

DTEST_CHILD(choiceRules)
{
    QTemporaryDir tmp;
    cacheIn(tmp);
    CHECK(writeSolid(QStringLiteral("T_10_-1_1_ffff0000_ff000000")));
    CHECK(writeSolid(QStringLiteral("T_12_-1_2_ffff0000_ff000000"), 2));
    CHECK(writeSolid(QStringLiteral("U_10_75_1_ffffffff_ff000000")));

    cUniFontMap exact(request("T", 12, -1, 2, 0xffff0000));
    CHECK_EQ(exact.mNode->mInfo.mName, QStringLiteral("T_12_-1_2_ffff0000_ff000000"));
    CHECK_EQ(exact.mNode->mRefCount, 2);
    CHECK_EQ(exact.border(), 2);

    const QString first = listing().first();
    cUniFontMap absent(request("Nope", 10, -1, 1, 0xffff0000));
    CHECK_EQ(absent.mNode->mInfo.mName, first);
    cUniFontMap tooSmall(request("T", 9, -1, 1, 0xffff0000));
    CHECK_EQ(tooSmall.mNode->mInfo.mName, first);
    cUniFontMap caseMatters(request("t", 12, -1, 2, 0xffff0000));
    CHECK_EQ(caseMatters.mNode->mInfo.mName, first);

    // The biggest size not above the request wins over a closer match of smaller size...
    cUniFontMap bigger(request("T", 20, -1, 1, 0xffff0000));
    CHECK_EQ(bigger.mNode->mInfo.mName, QStringLiteral("T_12_-1_2_ffff0000_ff000000"));
    // ...and the flag takes no part.
    cUniFontMap flagged(cFontInfo("U", 10, 75, 1, Qt::white, Qt::black, true));
    CHECK_EQ(flagged.mNode->mInfo.mName, QStringLiteral("U_10_75_1_ffffffff_ff000000"));
    return 0;
}

// A smaller atlas can win on an attribute the bigger one lacks, depending on order.
DTEST_CHILD(choiceFollowsRegistryOrder)
{
    QTemporaryDir tmp;
    cacheIn(tmp);
    const QString red12 = QStringLiteral("T_12_-1_1_ffff0000_ff000000");
    const QString white10 = QStringLiteral("T_10_-1_1_ffffffff_ff000000");
    CHECK(writeSolid(red12));
    CHECK(writeSolid(white10));
    cUniFontMap map(request("T", 12, -1, 1, 0xffffffff));
    const QStringList order = listing();
    CHECK_EQ(registryNames(), order);
    CHECK_EQ(map.mNode->mInfo.mName, order.first() == red12 ? white10 : red12);
    return 0;
}

DTEST_CHILD(badFilesAreNotLoaded)
{
    QTemporaryDir tmp;
    const QString dir = cacheIn(tmp);
    CHECK(writeSolid(QStringLiteral("Good_10_-1_1_ffff0000_ff000000")));
    CHECK(writeSolid(QStringLiteral("Short_10_-1_1_ffff0000_ff000000")));
    CHECK(writeSolid(QStringLiteral("Long_10_-1_1_ffff0000_ff000000")));
    CHECK(writeSolid(QStringLiteral("NoArray_10_-1_1_ffff0000_ff000000")));
    CHECK(writeSolid(QStringLiteral("NotPng_10_-1_1_ffff0000_ff000000")));
    CHECK(writeSolid(QStringLiteral("Lonely_10_-1_1_ffff0000_ff000000")));
    CHECK(writeSolid(QStringLiteral("Huge_10_-1_1000000000_ffff0000_ff000000")));
    {
        QSettings s(dir + QStringLiteral("/Short_10_-1_1_ffff0000_ff000000.rects"), QSettings::IniFormat);
        s.setValue(QStringLiteral("rects/size"), 255);
        QSettings l(dir + QStringLiteral("/Long_10_-1_1_ffff0000_ff000000.rects"), QSettings::IniFormat);
        l.setValue(QStringLiteral("rects/size"), 257);
        QSettings n(dir + QStringLiteral("/NoArray_10_-1_1_ffff0000_ff000000.rects"), QSettings::IniFormat);
        n.remove(QStringLiteral("rects"));
        n.setValue(QStringLiteral("other/size"), 256);
    }
    QFile notPng(dir + QStringLiteral("/NotPng_10_-1_1_ffff0000_ff000000.png"));
    CHECK(notPng.open(QIODevice::WriteOnly | QIODevice::Truncate) && notPng.write("GIF89a not a png") > 0);
    notPng.close();
    CHECK(QFile::remove(dir + QStringLiteral("/Lonely_10_-1_1_ffff0000_ff000000.rects")));
    CHECK(QFile::copy(dir + QStringLiteral("/Good_10_-1_1_ffff0000_ff000000.png"),
                            dir + QStringLiteral("/readme.png")));

    cUniFontMap map(request("Short", 10, -1, 1, 0xffff0000));
    CHECK_EQ(registryNames(), QStringList{QStringLiteral("Good_10_-1_1_ffff0000_ff000000")});
    CHECK_EQ(map.mNode->mInfo.mFamily, QStringLiteral("Good"));
    return 0;
}

// A 1-bit PNG loads as Format_Mono, which the GL engine would take for an
// accelerated-picture token and call into its pixel bytes.
DTEST_CHILD(monoAtlasBecomesArgb32)
{
    QTemporaryDir tmp;
    cacheIn(tmp);
    QImage mono(64, 16, QImage::Format_Mono);
    mono.fill(0);
    for (int x = 0; x < 64; x += 2)
        mono.setPixel(x, 3, 1);
    QVector<QRect> boxes(256, QRect(0, 0, 0, 0));
    boxes['A'] = QRect(0, 0, 8, 8);
    CHECK(atlasfile::writeAtlas(cFontInfo::mCachePath, QStringLiteral("M_10_-1_0_ffffffff_ff000000"), mono, boxes));
    CHECK(QImage(cFontInfo::mCachePath + QStringLiteral("/M_10_-1_0_ffffffff_ff000000.png")).format()
                == QImage::Format_Mono);

    cUniFontMap map(request("M", 10, -1, 0, 0xffffffff));
    CHECK_EQ(int(map.image().format()), int(QImage::Format_ARGB32));
    CHECK_EQ(map.image().size(), QSize(64, 16));
    CHECK_EQ(map.image().pixel(0, 3), mono.pixel(0, 3));
    CHECK_EQ(map.image().pixel(1, 3), mono.pixel(1, 3));
    CHECK(map.image().pixel(0, 3) != map.image().pixel(1, 3));
    return 0;
}

// Boxes are kept as read, except where their arithmetic would leave int.
DTEST_CHILD(hostileBoxes)
{
    QTemporaryDir tmp;
    const QString dir = cacheIn(tmp);
    CHECK(writeSolid(QStringLiteral("H_10_-1_2_ffff0000_ff000000"), 2));
    {
        QSettings s(dir + QStringLiteral("/H_10_-1_2_ffff0000_ff000000.rects"), QSettings::IniFormat);
        auto set = [&](int code, QVariant x, QVariant y, QVariant w, QVariant h) {
            const QString k = QStringLiteral("rects/%1/").arg(code + 1);
            s.setValue(k + QStringLiteral("x"), x);
            s.setValue(k + QStringLiteral("y"), y);
            s.setValue(k + QStringLiteral("w"), w);
            s.setValue(k + QStringLiteral("h"), h);
        };
        set('a', 2147483647, 0, 10, 10);              // right overflows
        set('b', 0, 2147483630, 10, 10);              // bottom + 4 x border overflows
        set('c', -2147483647 - 1, 0, 5, 5);           // left - 1 overflows
        set('d', 5000, 7000, 10, 10);                 // outside the image: kept
        set('e', 3, 4, -5, -6);                       // negative size: kept
        set('f', 0, 0, 7, 99999999999LL);             // beyond int: not wrapped into range
        set('g', QStringLiteral("abc"), QVariant(), 7, 3);  // non-numeric and missing: 0
    }
    cUniFontMap map(request("H", 10, -1, 2, 0xffff0000));
    CHECK_EQ(map.LetterRect('a'), QRect());
    CHECK_EQ(map.LetterRect('b'), QRect());
    CHECK_EQ(map.LetterRect('c'), QRect());
    CHECK_EQ(map.LetterRect('d'), QRect(5000, 7000, 10, 10));
    QRect negative;
    negative.setCoords(3, 4, 3 - 5 - 1, 4 - 6 - 1);
    CHECK_EQ(map.LetterRect('e'), negative);
    CHECK_EQ(map.LetterRect('f'), QRect());
    CHECK_EQ(map.LetterRect('g'), QRect(0, 0, 7, 3));
    CHECK_EQ(map.LetterRect('h').width(), 6);
    return 0;
}

DTEST_CHILD(sharedNodesAndDestroy)
{
    QTemporaryDir tmp;
    cacheIn(tmp);
    CHECK(writeSolid(QStringLiteral("S_10_-1_2_ffff0000_ff000000"), 2));
    const cFontInfo info("S_10_-1_2_ffff0000_ff000000");
    cUniFontMap a(info);
    cUniFontMap b(info);
    CHECK(a.mNode == b.mNode);
    CHECK(&a.image() == &b.image());
    CHECK_EQ(a.LetterRect('x'), b.LetterRect('x'));
    CHECK_EQ(a.mNode->mRefCount, 3);

    cUniFontMap::node* shared = a.mNode;
    QImage const* image = &a.image();
    a.Destroy();
    CHECK(a.mNode == nullptr);
    CHECK_EQ(shared->mRefCount, 2);
    CHECK_EQ(a.border(), 0);
    CHECK(a.image().isNull());
    CHECK_EQ(a.LetterRect('x'), QRect());
    a.Destroy();
    CHECK_EQ(shared->mRefCount, 2);
    CHECK(&b.image() == image);
    CHECK_EQ(b.border(), 2);
    CHECK_EQ(b.LetterRect('x').width(), 6);

    // The destructor keeps the reference; the atlas stays for everyone else.
    { cUniFontMap c(info); }
    CHECK_EQ(shared->mRefCount, 3);
    b.Destroy();
    b.Destroy();
    CHECK_EQ(shared->mRefCount, 2);
    CHECK_EQ(cUniFontMap::node::mNodes.size(), 1);

    // Create releases the old reference before it takes a new one.
    cUniFontMap d(info);
    CHECK_EQ(shared->mRefCount, 3);
    d.Create(info);
    CHECK_EQ(shared->mRefCount, 3);
    return 0;
}

namespace {
int measureWidths(int b)
{
    switch (b) {
    case 'a': return 5;
    case 'b': return 6;
    case 'A': return 4;
    case 0xC0: return 9;
    case 10: return 3;
    default: return 0;
    }
}
} // namespace

DTEST_CHILD(measureString)
{
    QTemporaryDir tmp;
    cacheIn(tmp);
    atlasfile::Synthetic two = atlasfile::makeSynthetic(measureWidths, 12, 2, 0xffffffff, 0xff000000);
    two.boxes['a'].setHeight(11);
    CHECK(atlasfile::writeAtlas(cFontInfo::mCachePath, QStringLiteral("Two_10_-1_2_ffffffff_ff000000"), two.image,
                                  two.boxes));
    atlasfile::Synthetic one = atlasfile::makeSynthetic(measureWidths, 12, 1, 0xffffffff, 0xff000000);
    CHECK(atlasfile::writeAtlas(cFontInfo::mCachePath, QStringLiteral("One_10_-1_1_ffffffff_ff000000"), one.image,
                                  one.boxes));

    cUniFontMap none;
    CHECK_EQ(none.MeasureString(QStringLiteral("abc")), QRect(0, 0, 0, 0));
    CHECK_EQ(none.LetterRect(65), QRect());
    CHECK(none.image().isNull());
    CHECK_EQ(none.border(), 0);

    cUniFontMap map(cFontInfo("Two_10_-1_2_ffffffff_ff000000"));
    CHECK_EQ(map.MeasureString(QStringLiteral("ab")), QRect(QPoint(0, 0), QPoint(18, 11)));
    CHECK_EQ(map.MeasureString(QString(QChar(0x0410))), QRect(QPoint(0, 0), QPoint(9 + 3 * 2 - 1, 11)));
    CHECK_EQ(map.MeasureString(QStringLiteral("A")), QRect(QPoint(0, 0), QPoint(4 + 3 * 2 - 1, 11)));
    CHECK_EQ(map.MeasureString(QStringLiteral("a\nb")),
                  QRect(QPoint(0, 0), QPoint(5 + 3 + 6 + 5 * 2 - 1, 11)));

    cUniFontMap thin(cFontInfo("One_10_-1_1_ffffffff_ff000000"));
    QRect empty;
    empty.setCoords(0, 0, 1, -1);
    CHECK_EQ(thin.MeasureString(QString()), empty);
    return 0;
}

int byteIsWidth(int b)
{
    return b + 1;
}

// Every UTF-16 code unit, alone and in a surrogate pair, is measured with the
// glyph of the byte the "WINDOWS-1251" codec gives it: with border 0 and
// glyph b b + 1 pixels wide, a one-character width names the byte.
DTEST_CHILD(glyphBytesAreTheCodecs)
{
    QTemporaryDir tmp;
    cacheIn(tmp);
    const atlasfile::Synthetic atlas = atlasfile::makeSynthetic(byteIsWidth, 2, 0, 0xffffffff, 0xff000000);
    CHECK(atlasfile::writeAtlas(cFontInfo::mCachePath, QStringLiteral("Bytes_10_-1_0_ffffffff_ff000000"), atlas.image,
                            atlas.boxes));
    cUniFontMap map(cFontInfo("Bytes_10_-1_0_ffffffff_ff000000"));
    QTextCodec* codec = QTextCodec::codecForName("WINDOWS-1251");
    CHECK(codec);

    auto widthByCodec = [codec](QString const& text) {
        int width = 0;
        for (char c : codec->fromUnicode(text))
            width += uchar(c) + 1;
        return width;
    };
    for (int u = 0; u < 0x10000; ++u) {
        const QString one = QChar(ushort(u));
        CHECK_EQ(map.MeasureString(one).width(), widthByCodec(one));
    }
    const QString mixed = QStringLiteral("Камера 7 · € é 中 ") + QString::fromUcs4(U"\U0001F600") + QChar(0xD800);
    CHECK_EQ(map.MeasureString(mixed).width(), widthByCodec(mixed));
    CHECK_EQ(map.MeasureString(QString(QChar(0x0410))).width(), 0xC0 + 1);
    return 0;
}

class tst_FontCache : public QObject
{
    Q_OBJECT

private slots:
    void lookup()
    {
        EXPECT_CHILD_PASSES("emptyCacheFailsAndScansAgain");
        EXPECT_CHILD_PASSES("defaultSetLoadedOnceThenNoFileRead");
    }
    void choice()
    {
        EXPECT_CHILD_PASSES("choiceRules");
        EXPECT_CHILD_PASSES("choiceFollowsRegistryOrder");
    }
    void loading()
    {
        EXPECT_CHILD_PASSES("badFilesAreNotLoaded");
        EXPECT_CHILD_PASSES("monoAtlasBecomesArgb32");
        EXPECT_CHILD_PASSES("hostileBoxes");
    }
    void handles() { EXPECT_CHILD_PASSES("sharedNodesAndDestroy"); }
    void measure()
    {
        EXPECT_CHILD_PASSES("measureString");
        EXPECT_CHILD_PASSES("glyphBytesAreTheCodecs");
    }
};

DTEST_MAIN(tst_FontCache)
#include "tst_fontcache.moc"
