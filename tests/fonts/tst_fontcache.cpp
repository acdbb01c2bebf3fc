// The atlas cache: scanning, loading rules, the choice of an atlas, shared
// nodes, the font handle and string measuring. The registry is process-wide
// and filled once: cases that need an empty, changing or faulty cache run in
// a child with a cache of their own.

#include <testsupport.h>

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

int solidWidths(int b)
{
    return b >= 32 ? 6 : 0;
}

// Glyph widths for measuring: a 5, b 6, A 4, the byte of U+0410 9, newline 3.
int measureWidths(int b)
{
    return b == 'a' ? 5 : b == 'b' ? 6 : b == 'A' ? 4 : b == 0xC0 ? 9 : b == '\n' ? 3 : 0;
}

atlasfile::Synthetic synthetic(int (*widthOf)(int) = solidWidths, int height = 10, int border = 1)
{
    return atlasfile::makeSynthetic(widthOf, height, border, 0xffffffff, 0xff000000);
}

bool write(QString const& name, atlasfile::Synthetic const& a = synthetic())
{
    return atlasfile::writeAtlas(cFontInfo::mCachePath, name, a.image, a.boxes);
}

// The registry follows the unsorted directory listing, as the scan sees it.
QStringList listing()
{
    QStringList names;
    for (QString const& f : QDir(cFontInfo::mCachePath).entryList({QStringLiteral("*.png")}, QDir::Files
                                                                  | QDir::Readable | QDir::Hidden | QDir::System,
                                                                  QDir::NoSort))
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

cUniFontMap::node* loaded(QString const& name)
{
    return cUniFontMap::node::mNodes.value(registryNames().indexOf(name));
}

// Requests are written as canonical names.
cFontInfo request(QString const& name)
{
    return cFontInfo(name.toLatin1().constData());
}

// Boxes as written (x, y, w, h) and as kept: as read, except where their
// arithmetic would leave int; values beyond int never wrap into plausible ones.
struct HostileBox {
    char code;
    QVariantList xywh;
    QRect kept;
};

const HostileBox kHostileBoxes[] = {
    {'a', {2147483647, 0, 10, 10}, QRect()},                 // right overflows
    {'b', {0, 2147483630, 10, 10}, QRect()},                 // bottom + 4 x border overflows
    {'c', {-2147483647 - 1, 0, 5, 5}, QRect()},              // left - 1 overflows
    {'d', {5000, 7000, 10, 10}, QRect(5000, 7000, 10, 10)},  // outside the image
    {'e', {3, 4, -5, -6}, QRect(QPoint(3, 4), QPoint(3 - 5 - 1, 4 - 6 - 1))},  // negative size
    {'f', {0, 0, 7, 99999999999LL}, QRect()},
    {'g', {QStringLiteral("abc"), QVariant(), 7, 3}, QRect(0, 0, 7, 3)},  // non-numeric and missing: 0
    {'i', {2147483648LL, 0, -10, 10}, QRect()},  // only x beyond int: the right edge is back in range
};

} // namespace

class tst_FontCache : public QObject
{
    Q_OBJECT

    QTemporaryDir mTmp;

    // The cache directory of this process, empty until the case writes to it.
    QString cache() { return cFontInfo::makeCacheBasePath(mTmp.path() + QStringLiteral("/cache")); }

private slots:
    // The test process keeps one cache for the cases that need no cache of
    // their own; each of them asks for families that no other uses.
    void initTestCase()
    {
        if (dtest::isChild())
            return;
        cache();
        for (char const* name : {"T_10_-1_1_ffff0000_ff000000", "T_12_-1_2_ffff0000_ff000000",
                                 "T_11_-1_2_ffff0000_ff000000", "U_10_75_1_ffffffff_ff000000",
                                 "O_12_-1_1_ffff0000_ff000000", "O_10_-1_1_ffffffff_ff000000",
                                 "H_10_-1_2_ffff0000_ff000000", "S_10_-1_2_ffff0000_ff000000"})
            QVERIFY(write(QLatin1String(name), synthetic(solidWidths, 10, request(QLatin1String(name)).mBorder)));
        atlasfile::Synthetic two = synthetic(measureWidths, 12, 2);
        two.boxes['a'].setHeight(11);
        QVERIFY(write(QStringLiteral("Two_10_-1_2_ffffffff_ff000000"), two));
        QVERIFY(write(QStringLiteral("One_10_-1_1_ffffffff_ff000000"), synthetic(measureWidths, 12, 1)));
        QVERIFY(write(QStringLiteral("Bytes_10_-1_0_ffffffff_ff000000"), synthetic([](int b) { return b + 1; }, 2, 0)));
        QSettings s(cache() + QStringLiteral("/H_10_-1_2_ffff0000_ff000000.rects"), QSettings::IniFormat);
        for (HostileBox const& b : kHostileBoxes)
            for (int i = 0; i < 4; ++i)
                s.setValue(QStringLiteral("rects/%1/%2").arg(b.code + 1).arg(QLatin1Char("xywh"[i])), b.xywh[i]);
        s.sync();
        cUniFontMap first(request("T_10_-1_1_ffff0000_ff000000"));
        QCOMPARE(cUniFontMap::node::mNodes.size(), 11);
        QCOMPARE(registryNames(), listing());
        first.Destroy();
    }

    // An empty cache fails the lookup and is read again by the next one;
    // once filled, it is never read again (every lookup used to read it).
    void scannedOnceFilled()
    {
        DTEST_IN_CHILD();
        const QString dir = cache();
        cUniFontMap map;
        QVERIFY(!map.cacheLookup(cFontInfo(cUniFontMap::mDefaultFontSet[4])));
        QVERIFY(map.mNode == nullptr && cUniFontMap::node::mNodes.isEmpty());
        for (char const* name : cUniFontMap::mDefaultFontSet)
            QVERIFY(write(QString::fromLatin1(name)));
        QVERIFY(map.cacheLookup(cFontInfo(cUniFontMap::mDefaultFontSet[4])));
        QCOMPARE(registryNames(), listing());
        QCOMPARE(cUniFontMap::node::mNodes.size(), 12);
        QVERIFY(QDir(dir).removeRecursively());
        for (char const* name : cUniFontMap::mDefaultFontSet) {
            cUniFontMap m(cFontInfo{name});
            QCOMPARE(m.mNode->mInfo.mName, QString::fromLatin1(name));
            QCOMPARE(m.LetterRect('A').width(), 6);
            QVERIFY(!m.image().isNull());
        }
        QCOMPARE(cUniFontMap::node::mNodes.size(), 12);
    }

    // The choice is the first or the last listed of `among` (all atlases when empty).
    void choice_data()
    {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<QStringList>("among");
        QTest::addColumn<bool>("last");
        const auto row = [](char const* tag, char const* wanted, QStringList const& among, bool flag = false,
                            bool last = false) { QTest::newRow(tag) << wanted << flag << among << last; };
        row("exact", "T_12_-1_2_ffff0000_ff000000", {"T_12_-1_2_ffff0000_ff000000"});
        row("absent family: first listed", "Nope_10_-1_1_ffff0000_ff000000", {});
        row("all too big: first listed", "T_9_-1_1_ffff0000_ff000000", {});
        row("family case matters", "t_12_-1_2_ffff0000_ff000000", {});
        // T_11 matches no more than T_12 does, so the bigger one wins in any order.
        row("biggest size not above", "T_20_-1_2_ffff0000_ff000000", {"T_12_-1_2_ffff0000_ff000000"});
        row("flag ignored", "U_10_75_1_ffffffff_ff000000", {"U_10_75_1_ffffffff_ff000000"}, true);
        // Each beats the other, on size or on colour: the one listed later wins.
        row("registry order", "O_12_-1_1_ffffffff_ff000000",
            {"O_12_-1_1_ffff0000_ff000000", "O_10_-1_1_ffffffff_ff000000"}, false, true);
    }

    void choice()
    {
        QFETCH(QString, wanted);
        QFETCH(bool, flag);
        QFETCH(QStringList, among);
        QFETCH(bool, last);
        QStringList order;
        for (QString const& name : registryNames())
            if (among.isEmpty() || among.contains(name))
                order << name;
        cUniFontMap::node* expected = loaded(last ? order.last() : order.first());
        const int refs = expected->mRefCount;
        cFontInfo info = request(wanted);
        info.mFlag = flag;
        cUniFontMap map(info);
        QCOMPARE(map.mNode, expected);
        QCOMPARE(expected->mRefCount, refs + 1);
        QCOMPARE(map.border(), expected->mInfo.mBorder);
        map.Destroy();
    }

    // One good atlas beside one entry; `rects` is the array's size (0: no
    // array, -1: no .rects file), `png` what the image file holds.
    void refusedEntries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rects");
        QTest::addColumn<QString>("png");
        QTest::addColumn<bool>("loads");
        const QString bad = QStringLiteral("Bad_10_-1_1_ffff0000_ff000000");
        QTest::newRow("255 entries") << bad << 255 << "argb" << false;
        QTest::newRow("257 entries") << bad << 257 << "argb" << false;
        QTest::newRow("missing array") << bad << 0 << "argb" << false;
        QTest::newRow("lone .png") << bad << -1 << "argb" << false;
        QTest::newRow("not a PNG") << bad << 256 << "gif" << false;
        QTest::newRow("unparsable name") << "readme" << 256 << "argb" << false;
        QTest::newRow("border beyond int") << "Huge_10_-1_1000000000_ffff0000_ff000000" << 256 << "argb" << false;
        // A Format_Mono image would pass for an accelerated-picture token in the GL engine.
        QTest::newRow("1-bit PNG becomes ARGB32") << bad << 256 << "mono" << true;
    }

    void refusedEntries()
    {
        DTEST_IN_CHILD();
        QFETCH(QString, name);
        QFETCH(int, rects);
        QFETCH(QString, png);
        QFETCH(bool, loads);
        const QString good = QStringLiteral("Good_10_-1_1_ffff0000_ff000000");
        const QString base = cache() + QLatin1Char('/') + name;
        QVERIFY(write(good));
        atlasfile::Synthetic a = synthetic();
        if (png == QLatin1String("mono")) {
            a.image = QImage(64, 16, QImage::Format_Mono);
            a.image.fill(0);
            for (int x = 0; x < 64; x += 2)
                a.image.setPixel(x, 3, 1);
        }
        QVERIFY(write(name, a));
        QCOMPARE(QImage(base + QStringLiteral(".png")).format(), a.image.format());
        QSettings s(base + QStringLiteral(".rects"), QSettings::IniFormat);
        if (rects <= 0)
            s.remove(QStringLiteral("rects"));
        s.setValue(rects > 0 ? QStringLiteral("rects/size") : QStringLiteral("other/size"), rects > 0 ? rects : 256);
        s.sync();
        if (rects == -1)
            QVERIFY(QFile::remove(base + QStringLiteral(".rects")));
        QFile f(base + QStringLiteral(".png"));
        if (png == QLatin1String("gif"))
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write("GIF89a not a png") > 0);
        f.close();

        cUniFontMap map(request(name));
        QCOMPARE(registryNames(), loads ? listing() : QStringList{good});
        QCOMPARE(map.mNode->mInfo.mName, loads ? name : good);
        QCOMPARE(map.image().format(), QImage::Format_ARGB32);
        if (loads)
            QCOMPARE(map.image(), QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_ARGB32));
    }

    // Regression: huge box values once wrapped into plausible boxes.
    void hugeBoxValuesNeverWrap()
    {
        cUniFontMap map(request("H_10_-1_2_ffff0000_ff000000"));
        for (HostileBox const& b : kHostileBoxes)
            QCOMPARE(map.LetterRect(b.code), b.kept);
        QCOMPARE(map.LetterRect('h').width(), 6);
        map.Destroy();
    }

    void sharedNodesAndDestroy()
    {
        const cFontInfo info("S_10_-1_2_ffff0000_ff000000");
        cUniFontMap::node* shared = loaded(info.mName);
        QCOMPARE(shared->mRefCount, 1);
        cUniFontMap a(info), b(info);
        QVERIFY(a.mNode == shared && b.mNode == shared);
        QCOMPARE(shared->mRefCount, 3);

        a.Destroy();
        a.Destroy();
        QVERIFY(a.mNode == nullptr && a.image().isNull());
        QCOMPARE(shared->mRefCount, 2);
        QCOMPARE(a.border(), 0);
        QCOMPARE(a.LetterRect('x'), QRect());
        QCOMPARE(a.MeasureString(QStringLiteral("abc")), QRect(0, 0, 0, 0));
        QVERIFY(&b.image() == &shared->mImage);
        QCOMPARE(b.border(), 2);
        QCOMPARE(b.LetterRect('x').width(), 6);

        // The destructor keeps the reference; the atlas stays for everyone else.
        { cUniFontMap c(info); }
        QCOMPARE(shared->mRefCount, 3);
        // Create releases the old reference before it takes a new one.
        b.Create(info);
        QCOMPARE(shared->mRefCount, 3);
        QCOMPARE(cUniFontMap::node::mNodes.size(), 11);
    }

    void measureString()
    {
        cUniFontMap map(request("Two_10_-1_2_ffffffff_ff000000"));
        QCOMPARE(map.MeasureString(QStringLiteral("ab")), QRect(QPoint(0, 0), QPoint(18, 11)));
        QCOMPARE(map.MeasureString(QString(QChar(0x0410))), QRect(QPoint(0, 0), QPoint(9 + 3 * 2 - 1, 11)));
        QCOMPARE(map.MeasureString(QStringLiteral("A")), QRect(QPoint(0, 0), QPoint(4 + 3 * 2 - 1, 11)));
        QCOMPARE(map.MeasureString(QStringLiteral("a\nb")), QRect(QPoint(0, 0), QPoint(5 + 3 + 6 + 5 * 2 - 1, 11)));
        QCOMPARE(cUniFontMap(request("One_10_-1_1_ffffffff_ff000000")).MeasureString(QString()),
                 QRect(QPoint(0, 0), QPoint(1, -1)));
    }

    // Regression: every UTF-16 code unit, alone and in a surrogate pair, is
    // measured with the glyph of the byte the "WINDOWS-1251" codec gives it.
    // With border 0 and glyph b b + 1 pixels wide, a width names the bytes.
    void everyCodeUnitMeasuredWithTheCodecsByte()
    {
        cUniFontMap map(request("Bytes_10_-1_0_ffffffff_ff000000"));
        QTextCodec* codec = QTextCodec::codecForName("WINDOWS-1251");
        QVERIFY(codec);
        auto widthByCodec = [codec](QString const& text) {
            int width = 0;
            for (char c : codec->fromUnicode(text))
                width += uchar(c) + 1;
            return width;
        };
        for (int u = 0; u < 0x10000; ++u)
            QCOMPARE(map.MeasureString(QChar(ushort(u))).width(), widthByCodec(QChar(ushort(u))));
        const QString mixed = QStringLiteral("Камера 7 · € é 中 ") + QString::fromUcs4(U"\U0001F600") + QChar(0xD800);
        QCOMPARE(map.MeasureString(mixed).width(), widthByCodec(mixed));
        QCOMPARE(map.MeasureString(QString(QChar(0x0410))).width(), 0xC0 + 1);
    }
};

DTEST_MAIN(tst_FontCache)
#include "tst_fontcache.moc"
