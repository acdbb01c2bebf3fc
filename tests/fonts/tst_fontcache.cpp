// Font descriptions and the atlas cache: canonical names, cache paths,
// scanning, loading rules, the choice of an atlas, shared nodes, the font
// handle and string measuring. The cache directory and the registry are
// process-wide and fixed once: cases that need an empty, changing or faulty
// cache, or a directory of their own, run in a child.

#include <testsupport.h>

#include <dorurizar/unifontmap.h>
#include <atlasfile.h>

#include <QApplication>
#include <QImageReader>
#include <QtTest>

#include <sys/resource.h>

#include <pthread.h>
#include <sys/stat.h>

#include <system_error>
#include <thread>

namespace {

atlasfile::Synthetic synthetic(int border = 1, int (*widthOf)(int) = [](int b) { return b >= 32 ? 6 : 0; },
                               int height = 10)
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
    return QDir(cFontInfo::mCachePath)
        .entryList({QStringLiteral("*.png")}, QDir::Files | QDir::Readable | QDir::Hidden | QDir::System, QDir::NoSort)
        .replaceInStrings(QRegularExpression(QStringLiteral("\\.png$")), QString());
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

// Boxes as written (x, y, w, h) and as kept: as read when they lie within
// 16384 x 16384 with room for the border's reach, else empty; values beyond
// int never wrap into plausible ones.
struct HostileBox { char code; QVariantList xywh; QRect kept; };

const HostileBox kHostileBoxes[] = {
    {'a', {2147483647, 0, 10, 10}, QRect()},                 // right overflows
    {'b', {0, 2147483630, 10, 10}, QRect()},                 // bottom + 4 x border overflows
    {'c', {-2147483647 - 1, 0, 5, 5}, QRect()},              // left - 1 overflows
    {'d', {5000, 7000, 10, 10}, QRect(5000, 7000, 10, 10)},  // outside the image
    {'e', {3, 4, -5, -6}, QRect()},                          // negative size
    {'f', {0, 0, 7, 99999999999LL}, QRect()},
    {'g', {QStringLiteral("abc"), QVariant(), 7, 3}, QRect(0, 0, 7, 3)},  // non-numeric and missing: 0
    {'i', {2147483648LL, 0, -10, 10}, QRect()},  // only x beyond int: the right edge is back in range
    {'j', {-100, 0, 2147483642, 10}, QRect()},   // only width + 4 x border overflows
    // Regression: each passed the range checks and overflowed in measuring, in text or in the loader.
    {'k', {0, 2147483647, 5, -2147483649LL}, QRect()},
    {'l', {-2147483600, 0, 40, 10}, QRect()},
    {'m', {0, 0, 6, 2147483000}, QRect()},
    {'n', {0, 0, 6, -2147483000}, QRect()},
    {'o', {1, 1, 6, 9223372036854775807LL}, QRect()},
    {'p', {16380, 0, 4, 16384}, QRect(16380, 0, 4, 16384)},  // the largest atlas's corner
    {'q', {16380, 0, 5, 10}, QRect()},
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
        for (char const* family : {"T_10_-1_1_ffff0000", "T_12_-1_2_ffff0000", "T_11_-1_2_ffff0000", "U_10_75_1_ffffffff",
                                   "O_12_-1_1_ffff0000", "O_10_-1_1_ffffffff", "H_10_-1_2_ffff0000", "S_10_-1_2_ffff0000"}) {
            const QString name = QLatin1String(family) + QStringLiteral("_ff000000");
            QVERIFY(write(name, synthetic(cFontInfo(qPrintable(name)).mBorder)));
        }
        // Glyph widths for measuring: a 5, b 6, A 4, the byte of U+0410 9, newline 3.
        const auto measureWidths = [](int b) {
            return b == 'a' ? 5 : b == 'b' ? 6 : b == 'A' ? 4 : b == 0xC0 ? 9 : b == '\n' ? 3 : 0;
        };
        atlasfile::Synthetic two = synthetic(2, measureWidths, 12);
        two.boxes['a'].setHeight(11);
        QVERIFY(write(QStringLiteral("Two_10_-1_2_ffffffff_ff000000"), two));
        QVERIFY(write(QStringLiteral("One_10_-1_1_ffffffff_ff000000"), synthetic(1, measureWidths, 12)));
        atlasfile::Synthetic wide = synthetic();  // 'h' at the corner, with the widest border
        wide.boxes['h'] = QRect(0, 0, 6, 10);
        QVERIFY(write(QStringLiteral("W_10_-1_536870911_ffff0000_ff000000"), wide));
        QVERIFY(write(QStringLiteral("Bytes_10_-1_0_ffffffff_ff000000"), synthetic(0, [](int b) { return b + 1; }, 2)));
        QSettings s(cache() + QStringLiteral("/H_10_-1_2_ffff0000_ff000000.rects"), QSettings::IniFormat);
        for (HostileBox const& b : kHostileBoxes)
            for (int i = 0; i < 4; ++i)
                s.setValue(QStringLiteral("rects/%1/%2").arg(b.code + 1).arg(QLatin1Char("xywh"[i])), b.xywh[i]);
        s.sync();
        cUniFontMap first(cFontInfo("T_10_-1_1_ffff0000_ff000000"));
        QCOMPARE(cUniFontMap::node::mNodes.size(), 12);
        QCOMPARE(registryNames(), listing());
    }

    // Each row's canonical name holds its fields: the family, then size,
    // weight, border, colour and border colour (colours in hex). The fields
    // give the name; the text, parsed, gives the fields back unless the
    // family is empty, which no parse accepts.
    void names_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        const QString tahoma = QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000");
        QTest::newRow("file name") << "Tahoma_10_-1_2_ff303040_ff000000.png" << tahoma;
        QTest::newRow("path") << "/any/dir/Tahoma_10_-1_2_ff303040_ff000000" << tahoma;
        QTest::newRow("normalised") << "Tahoma_010_-1_2_FF303040_FF000000" << tahoma;
        QTest::newRow("bold system") << "System_10_75_1_ffffff00_ff000000" << "System_10_75_1_ffffff00_ff000000";
        QTest::newRow("transparent colours unpadded") << "A_1_0_0_ff0000_f" << "A_1_0_0_ff0000_f";
        QTest::newRow("underscores in family") << "DejaVu_Sans_12_75_1_ffffffff_ff000000.rects" << "DejaVu_Sans_12_75_1_ffffffff_ff000000";
        QTest::newRow("colour wider than 32 bits cut") << "A_1_0_0_1ff0000ff_ff" << "A_1_0_0_ff0000ff_ff";
        for (char const* junk : {"_-1_-1_0_ffffffff_ff000000", "readme.png", "", "A_10_-1_-2_ff_ff", "A_10_-1_2_ff",
                                 "A_10_-1_2_fg_ff"})
            QTest::addRow("rejects '%s'", junk) << QString::fromLatin1(junk) << "_-1_-1_0_ffffffff_ff000000";
        // Regression: a backtracking search took a minute to refuse this.
        QTest::newRow("rejects 64 KiB promptly") << QStringLiteral("x_").repeated(32768) << "_-1_-1_0_ffffffff_ff000000";
    }

    void names()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        if (text.size() > 4096)
            DTEST_IN_CHILD(10000);
        QStringList f = name.split(QLatin1Char('_'));
        f = QStringList{f.mid(0, f.size() - 5).join(QLatin1Char('_'))} + f.mid(f.size() - 5);
        const cFontInfo made(f[0], f[1].toInt(), f[2].toInt(), f[3].toInt(), QColor::fromRgba(f[4].toUInt(nullptr, 16)),
                             QColor::fromRgba(f[5].toUInt(nullptr, 16)), true);
        QCOMPARE(made.mName, name);
        QCOMPARE(made.mFlag, true);

        const cFontInfo parsed(text.toLatin1().constData());
        QCOMPARE(parsed.mFlag, false);
        if (f[0].isEmpty()) {
            QVERIFY(parsed.mName.isEmpty() && parsed.mFamily.isEmpty() && !parsed.mColor.isValid() && !parsed.mBorderColor.isValid());
            return;
        }
        const auto fields = [](cFontInfo const& i) {
            return QVariantList{i.mFamily, i.mFontSize, i.mWeight, i.mBorder, i.mColor.rgba(), i.mBorderColor.rgba()};
        };
        QCOMPARE(fields(parsed), fields(made));
        QCOMPARE(parsed.mName, name);
    }

    // The cache directory is fixed once per process, so each row runs in a
    // child. A row without `env` gives the directory itself; the others ask
    // the settings, with `env` set (TMP names the row's temporary directory).
    void cacheDirectory_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("expected");
        // A '%' must not be taken for an argument marker.
        for (char const* given : {"/cache", "/", "/%2%1"})
            QTest::addRow("given %s", given) << QStringList() << QString::fromLatin1(given);
        QTest::newRow("settings variable") << QStringList{"DORURIZAR_FONTMAP_CACHE=TMP/env/maps"} << "/env/maps";
        QTest::newRow("XDG cache home") << QStringList{"DORURIZAR_FONTMAP_CACHE=", "XDG_CACHE_HOME=TMP/xdg"} << "/xdg/dorurizar/fontmaps";
    }

    void cacheDirectory()
    {
        DTEST_IN_CHILD(30000);
        QFETCH(QStringList, env);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        for (QString const& entry : env)
            qputenv(entry.section(QLatin1Char('='), 0, 0).toLatin1().constData(),
                    entry.section(QLatin1Char('='), 1).replace(QStringLiteral("TMP"), tmp.path()).toLocal8Bit());
        const QString dir = tmp.path() + expected;
        QCOMPARE(env.isEmpty() ? cFontInfo::makeCacheBasePath(dir) : cUniFontMap::node::makeCacheBasePath(), dir);
        QVERIFY(QDir(dir).exists());
        QCOMPARE(cFontInfo::makeCacheBasePath(QStringLiteral("x")), dir);
        QCOMPARE(cUniFontMap::node::makeCacheBasePath(), dir);

        cFontInfo info("N_1_2_3_ff_ff");
        QCOMPARE(info.rectPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.rects"));
        QCOMPARE(info.pngPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.png"));
        QCOMPARE(cUniFontMap::node::makeCacheRectsPath(info), dir + QStringLiteral("N_1_2_3_ff_ff.rects"));
        QCOMPARE(cUniFontMap::node::makeCacheImagePath(info), dir + QStringLiteral("N_1_2_3_ff_ff.png"));

        // Present only with both files.
        QFile rects(info.rectPath()), png(info.pngPath());
        QVERIFY(!info.exists());
        QVERIFY(rects.open(QIODevice::WriteOnly) && !info.exists());
        QVERIFY(rects.remove() && png.open(QIODevice::WriteOnly) && !info.exists());
        QVERIFY(rects.open(QIODevice::WriteOnly) && info.exists());
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
        row("registry order", "O_12_-1_1_ffffffff_ff000000", {"O_12_-1_1_ffff0000_ff000000", "O_10_-1_1_ffffffff_ff000000"}, false, true);
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
        cFontInfo info(qPrintable(wanted));
        info.mFlag = flag;
        cUniFontMap map(info);
        QCOMPARE(map.mNode, expected);
        QCOMPARE(expected->mRefCount, refs + 1);
        QCOMPARE(map.border(), expected->mInfo.mBorder);
        map.Destroy();
    }

    // One good atlas beside one entry; `rects` is the array's size (0: no
    // array, -1: no .rects file, -2: a FIFO, -3: 1 GiB), `png` what the image
    // file holds. Refusing costs neither a hang nor 50 MiB.
    void refusedEntries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rects");
        QTest::addColumn<QString>("png");
        const QString bad = QStringLiteral("Bad_10_-1_1_ffff0000_ff000000");
        for (int size : {255, 257})
            QTest::addRow("%d entries", size) << bad << size << "argb";
        QTest::newRow("missing array") << bad << 0 << "argb";
        QTest::newRow("lone .png") << bad << -1 << "argb";
        QTest::newRow("not a PNG") << bad << 256 << "gif";
        // Regression: a FIFO named like an atlas hung the first lookup.
        QTest::newRow("FIFO as .png") << bad << 256 << "fifo";
        QTest::newRow("FIFO as .rects") << bad << -2 << "argb";
        QTest::newRow("symlink loop as .png") << bad << 256 << "loop";
        // Regression: the whole file was read to find the array.
        QTest::newRow("1 GiB .rects") << bad << -3 << "argb";
        // Regression: a header claiming a huge image made the decoder allocate it.
        QTest::newRow("taller than any atlas") << bad << 256 << "tall";
        QTest::newRow("more pixels than any atlas") << bad << 256 << "vast";
        QTest::newRow("unparsable name") << "readme" << 256 << "argb";
        QTest::newRow("border beyond int") << "Huge_10_-1_1000000000_ffff0000_ff000000" << 256 << "argb";
        // A Format_Mono image would pass for an accelerated-picture token in the GL engine.
        QTest::newRow("1-bit PNG becomes ARGB32") << bad << 256 << "mono";
    }

    void refusedEntries()
    {
        DTEST_IN_CHILD();
        QFETCH(QString, name);
        QFETCH(int, rects);
        QFETCH(QString, png);
        const bool loads = png == QLatin1String("mono");
        const QString good = QStringLiteral("Good_10_-1_1_ffff0000_ff000000");
        const QString base = cache() + QLatin1Char('/') + name;
        QVERIFY(write(good));
        atlasfile::Synthetic a = synthetic();
        const QSize huge = png == QLatin1String("tall") ? QSize(1, 16385) : QSize(16384, 8193);
        if (loads)
            a.image = a.image.convertToFormat(QImage::Format_Mono);
        else if (png == QLatin1String("tall") || png == QLatin1String("vast")) {
            a.image = QImage(huge, QImage::Format_Mono);
            a.image.fill(0);
        }
        QVERIFY(write(name, a));
#if QT_VERSION_MAJOR >= 6
        QImageReader::setAllocationLimit(0);  // Qt 6 refuses vast images by itself; the library must too
#endif
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
        if (png == QLatin1String("loop"))
            QVERIFY(QFile::remove(f.fileName()) && QFile::link(f.fileName(), f.fileName()));
        if (rects == -3)
            QVERIFY(QFile::resize(base + QStringLiteral(".rects"), qint64(1) << 30));
        if (rects == -2 || png == QLatin1String("fifo")) {
            const QString fifo = base + (rects == -2 ? QStringLiteral(".rects") : QStringLiteral(".png"));
            QVERIFY(QFile::remove(fifo) && mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        }

        rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        cUniFontMap map(cFontInfo(qPrintable(name)));
        getrusage(RUSAGE_SELF, &after);
        QVERIFY(after.ru_maxrss - before.ru_maxrss < 50 * 1024);
        QCOMPARE(registryNames(), loads ? listing() : QStringList{good});
        QCOMPARE(map.mNode->mInfo.mName, loads ? name : good);
        QCOMPARE(map.image().format(), QImage::Format_ARGB32);
        if (loads)
            QCOMPARE(map.image(), QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_ARGB32));
    }

    // Regression: huge box values once wrapped into plausible boxes.
    void hugeBoxValuesNeverWrap()
    {
        cUniFontMap map(cFontInfo("H_10_-1_2_ffff0000_ff000000"));
        for (HostileBox const& b : kHostileBoxes)
            QCOMPARE(map.LetterRect(b.code), b.kept);
        QCOMPARE(map.LetterRect('h').width(), 6);
        // The widest border an engine can add: a box plus its reach would pass INT_MAX.
        QCOMPARE(cUniFontMap(cFontInfo("W_10_-1_536870911_ffff0000_ff000000")).LetterRect('h'), QRect());
    }

    // Regression: a first lookup that could not start a worker thread ended the process.
    void firstLookupWithoutThreads()
    {
        DTEST_IN_CHILD();
        pthread_attr_t attr;  // a stack no thread can get: every start now fails
        QVERIFY(pthread_attr_init(&attr) == 0 && pthread_attr_setstacksize(&attr, size_t(1) << 46) == 0);
        QVERIFY(pthread_setattr_default_np(&attr) == 0);
        QVERIFY_EXCEPTION_THROWN(std::thread([] {}).join(), std::system_error);
        cache();
        for (char const* name : cUniFontMap::mDefaultFontSet)
            QVERIFY(write(QString::fromLatin1(name)));
        cUniFontMap map(cFontInfo(cUniFontMap::mDefaultFontSet[4]));
        QCOMPARE(registryNames(), listing());
        QCOMPARE(map.mNode->mInfo.mName, QString::fromLatin1(cUniFontMap::mDefaultFontSet[4]));
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
        QCOMPARE(shared->mRefCount, 2);
        QVERIFY(a.mNode == nullptr && a.image().isNull() && a.border() == 0 && a.LetterRect('x') == QRect());
        QCOMPARE(a.MeasureString(QStringLiteral("abc")), QRect(0, 0, 0, 0));
        QVERIFY(&b.image() == &shared->mImage && b.border() == 2 && b.LetterRect('x').width() == 6);

        // The destructor keeps the reference; the atlas stays for everyone else.
        { cUniFontMap c(info); }
        QCOMPARE(shared->mRefCount, 3);
        // Create releases the old reference before it takes a new one.
        QVERIFY(b.Create(info));
        QCOMPARE(shared->mRefCount, 3);
        QCOMPARE(cUniFontMap::node::mNodes.size(), 12);
    }

    void measureString()
    {
        cUniFontMap map(cFontInfo("Two_10_-1_2_ffffffff_ff000000"));
        QCOMPARE(map.MeasureString(QStringLiteral("ab")), QRect(QPoint(0, 0), QPoint(18, 11)));
        QCOMPARE(map.MeasureString(QString(QChar(0x0410))), QRect(QPoint(0, 0), QPoint(9 + 3 * 2 - 1, 11)));
        QCOMPARE(map.MeasureString(QStringLiteral("A")), QRect(QPoint(0, 0), QPoint(4 + 3 * 2 - 1, 11)));
        QCOMPARE(map.MeasureString(QStringLiteral("a\nb")), QRect(QPoint(0, 0), QPoint(5 + 3 + 6 + 5 * 2 - 1, 11)));
        QCOMPARE(cUniFontMap(cFontInfo("One_10_-1_1_ffffffff_ff000000")).MeasureString(QString()), QRect(QPoint(0, 0), QPoint(1, -1)));
    }

    // Regression: every UTF-16 code unit, alone and in a surrogate pair, is
    // measured with the glyph of the byte the "WINDOWS-1251" codec gives it.
    // With border 0 and glyph b b + 1 pixels wide, a width names the bytes.
    void everyCodeUnitMeasuredWithTheCodecsByte()
    {
#if QT_VERSION_MAJOR >= 6
        QSKIP("Qt 6 has no codec without its compatibility module; the Qt 5 build compares");
#else
        cUniFontMap map(cFontInfo("Bytes_10_-1_0_ffffffff_ff000000"));
        QTextCodec* codec = QTextCodec::codecForName("WINDOWS-1251");
        QVERIFY(codec);
        auto widthByCodec = [codec](QString const& text) {
            int width = 0;
            for (char c : codec->fromUnicode(text))
                width += uchar(c) + 1;
            return width;
        };
        for (char32_t u = 0; u < 0x110000; ++u) {
            const QString one = QString::fromUcs4(&u, 1);
            if (map.MeasureString(one).width() != widthByCodec(one))
                QFAIL(qPrintable(QString::number(u, 16)));
        }
        const QChar high(0xD800), low(0xDC00);
        for (QString const& mixed : {QStringLiteral("Камера 7 · € é 中 ") + QString::fromUcs4(U"\U0001F600") + high,
                                     QString(high) + high + low + QLatin1Char('a') + low + high + QLatin1Char('b')})
            QCOMPARE(map.MeasureString(mixed).width(), widthByCodec(mixed));
        QCOMPARE(map.MeasureString(QString(QChar(0x0410))).width(), 0xC0 + 1);
#endif
    }
};

DTEST_MAIN(tst_FontCache)
#include "tst_fontcache.moc"
