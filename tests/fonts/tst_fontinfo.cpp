// Font descriptions: canonical names, their parse, and the cache paths.

#include "childcheck.h"

#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool touch(QString const& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

} // namespace

// The cache path is fixed once per process, so each directory spelling gets its own child.
DTEST_CHILD(pathsWithoutTrailingSlash)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QStringLiteral("/cache");
    CHILD_COMPARE(cFontInfo::makeCacheBasePath(dir), dir);
    CHILD_CHECK(QDir(dir).exists());
    CHILD_COMPARE(cFontInfo::makeCacheBasePath(QStringLiteral("x")), dir);

    cFontInfo info("N_1_2_3_ff_ff");
    CHILD_COMPARE(info.mName, QStringLiteral("N_1_2_3_ff_ff"));
    CHILD_COMPARE(info.rectPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.rects"));
    CHILD_COMPARE(info.pngPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.png"));
    CHILD_COMPARE(cUniFontMap::node::makeCacheRectsPath(info), dir + QStringLiteral("N_1_2_3_ff_ff.rects"));
    CHILD_COMPARE(cUniFontMap::node::makeCacheImagePath(info), dir + QStringLiteral("N_1_2_3_ff_ff.png"));

    // exists() wants both files.
    CHILD_CHECK(!info.exists());
    CHILD_CHECK(touch(info.rectPath()));
    CHILD_CHECK(!info.exists());
    CHILD_CHECK(QFile::remove(info.rectPath()) && touch(info.pngPath()));
    CHILD_CHECK(!info.exists());
    CHILD_CHECK(touch(info.rectPath()));
    CHILD_CHECK(info.exists());
    return 0;
}

DTEST_CHILD(pathsWithTrailingSlash)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QStringLiteral("/");
    cFontInfo::makeCacheBasePath(dir);
    cFontInfo info("N_1_2_3_ff_ff");
    CHILD_COMPARE(info.rectPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.rects"));
    CHILD_COMPARE(cUniFontMap::node::makeCacheRectsPath(info), dir + QStringLiteral("N_1_2_3_ff_ff.rects"));
    CHILD_COMPARE(cUniFontMap::node::makeCacheBasePath(), dir);
    return 0;
}

// A '%' in the directory must not be taken for an argument marker.
DTEST_CHILD(pathWithPercentSigns)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QStringLiteral("/%2%1");
    cFontInfo::makeCacheBasePath(dir);
    cFontInfo info("N_1_2_3_ff_ff");
    CHILD_COMPARE(info.pngPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.png"));
    CHILD_CHECK(touch(info.pngPath()) && touch(info.rectPath()));
    CHILD_CHECK(info.exists());
    return 0;
}

DTEST_CHILD(settingsFromEnvironment)
{
    CHILD_COMPARE(cUniFontMap::node::makeCacheBasePath(), qEnvironmentVariable("DORURIZAR_FONTMAP_CACHE"));
    CHILD_CHECK(QDir(cUniFontMap::node::makeCacheBasePath()).exists());
    return 0;
}

DTEST_CHILD(settingsFromXdgCache)
{
    CHILD_COMPARE(cUniFontMap::node::makeCacheBasePath(),
                  qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/dorurizar/fontmaps"));
    CHILD_CHECK(QDir(cUniFontMap::node::makeCacheBasePath()).exists());
    return 0;
}

class tst_FontInfo : public QObject
{
    Q_OBJECT

private slots:
    void canonicalName_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("weight");
        QTest::addColumn<int>("border");
        QTest::addColumn<QRgb>("color");
        QTest::addColumn<QRgb>("borderColor");
        QTest::addColumn<QString>("name");
        QTest::newRow("tahoma") << "Tahoma" << 10 << -1 << 2 << QRgb(0xff303040) << QRgb(0xff000000)
                                << "Tahoma_10_-1_2_ff303040_ff000000";
        QTest::newRow("bold system") << "System" << 10 << 75 << 1 << QRgb(0xffffff00) << QRgb(0xff000000)
                                     << "System_10_75_1_ffffff00_ff000000";
        QTest::newRow("transparent colour unpadded") << "A" << 1 << 0 << 0 << QRgb(0x00ff0000) << QRgb(0x0000000f)
                                                     << "A_1_0_0_ff0000_f";
        QTest::newRow("empty family") << "" << -1 << -1 << 0 << QRgb(0xffffffff) << QRgb(0xff000000)
                                      << "_-1_-1_0_ffffffff_ff000000";
    }

    void canonicalName()
    {
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(int, weight);
        QFETCH(int, border);
        QFETCH(QRgb, color);
        QFETCH(QRgb, borderColor);
        QFETCH(QString, name);
        const cFontInfo info(family, size, weight, border, QColor::fromRgba(color), QColor::fromRgba(borderColor),
                             true);
        QCOMPARE(info.mName, name);
        QCOMPARE(info.mFlag, true);
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("weight");
        QTest::addColumn<int>("border");
        QTest::addColumn<QRgb>("color");
        QTest::addColumn<QRgb>("borderColor");
        QTest::addColumn<QString>("name");
        const QString tahoma = QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000");
        QTest::newRow("file name") << QByteArray("Tahoma_10_-1_2_ff303040_ff000000.png") << "Tahoma" << 10 << -1
                                   << 2 << QRgb(0xff303040) << QRgb(0xff000000) << tahoma;
        QTest::newRow("path") << QByteArray("/any/dir/Tahoma_10_-1_2_ff303040_ff000000") << "Tahoma" << 10 << -1
                              << 2 << QRgb(0xff303040) << QRgb(0xff000000) << tahoma;
        QTest::newRow("normalised") << QByteArray("Tahoma_010_-1_2_FF303040_FF000000") << "Tahoma" << 10 << -1
                                    << 2 << QRgb(0xff303040) << QRgb(0xff000000) << tahoma;
        QTest::newRow("alpha 0") << QByteArray("A_1_0_0_ff0000_f") << "A" << 1 << 0 << 0 << QRgb(0x00ff0000)
                                 << QRgb(0x0000000f) << "A_1_0_0_ff0000_f";
        QTest::newRow("underscores in family")
            << QByteArray("DejaVu_Sans_12_75_1_ffffffff_ff000000.rects") << "DejaVu_Sans" << 12 << 75 << 1
            << QRgb(0xffffffff) << QRgb(0xff000000) << "DejaVu_Sans_12_75_1_ffffffff_ff000000";
        QTest::newRow("colour wider than 32 bits cut")
            << QByteArray("A_1_0_0_1ff0000ff_ff") << "A" << 1 << 0 << 0 << QRgb(0xff0000ff) << QRgb(0xff)
            << "A_1_0_0_ff0000ff_ff";
    }

    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(int, weight);
        QFETCH(int, border);
        QFETCH(QRgb, color);
        QFETCH(QRgb, borderColor);
        QFETCH(QString, name);
        const cFontInfo info(text.constData());
        QCOMPARE(info.mFamily, family);
        QCOMPARE(info.mFontSize, size);
        QCOMPARE(info.mWeight, weight);
        QCOMPARE(info.mBorder, border);
        QCOMPARE(info.mColor.rgba(), color);
        QCOMPARE(info.mBorderColor.rgba(), borderColor);
        QCOMPARE(info.mFlag, false);
        QCOMPARE(info.mName, name);
    }

    void parseRejects_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("readme") << QByteArray("readme.png");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("empty family") << QByteArray("_-1_-1_0_ffffffff_ff000000");
        QTest::newRow("negative border") << QByteArray("A_10_-1_-2_ff_ff");
        QTest::newRow("five fields") << QByteArray("A_10_-1_2_ff");
        QTest::newRow("not hex") << QByteArray("A_10_-1_2_fg_ff");
    }

    void parseRejects()
    {
        QFETCH(QByteArray, text);
        const cFontInfo info(text.constData());
        QVERIFY(info.mName.isEmpty());
        QVERIFY(info.mFamily.isEmpty());
        QVERIFY(!info.mColor.isValid());
        QVERIFY(!info.mBorderColor.isValid());
        QCOMPARE(info.mFlag, false);
    }

    void copiesAreIndependent()
    {
        cFontInfo a("Tahoma_10_-1_2_ff303040_ff000000");
        cFontInfo b = a;
        a = cFontInfo("System_10_75_1_ffffff00_ff000000");
        QCOMPARE(b.mName, QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000"));
        QCOMPARE(a.mFamily, QStringLiteral("System"));
    }

    void cachePaths()
    {
        EXPECT_CHILD_PASSES("pathsWithoutTrailingSlash");
        EXPECT_CHILD_PASSES("pathsWithTrailingSlash");
        EXPECT_CHILD_PASSES("pathWithPercentSigns");
    }

    void cacheDirectoryFromSettings()
    {
        QTemporaryDir tmp;
        const QString fromEnv = tmp.path() + QStringLiteral("/env/fontmaps");
        EXPECT_CHILD_PASSES("settingsFromEnvironment", 60000,
                            QStringList{QStringLiteral("DORURIZAR_FONTMAP_CACHE=") + fromEnv});
        EXPECT_CHILD_PASSES("settingsFromXdgCache", 60000,
                            QStringList{QStringLiteral("DORURIZAR_FONTMAP_CACHE="),
                                        QStringLiteral("XDG_CACHE_HOME=") + tmp.path() + QStringLiteral("/xdg")});
    }
};

DTEST_MAIN(tst_FontInfo)
#include "tst_fontinfo.moc"
