// Font descriptions: canonical names, their parse, and the cache paths.

#include <childcheck.h>

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

// The cache path is fixed once per process, so each spelling of the directory
// (CACHE_SPELLING, appended to a fresh temporary directory) gets its own child.
DTEST_CHILD(cachePathsIn)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + qEnvironmentVariable("CACHE_SPELLING");
    CHECK_EQ(cFontInfo::makeCacheBasePath(dir), dir);
    CHECK(QDir(dir).exists());
    CHECK_EQ(cFontInfo::makeCacheBasePath(QStringLiteral("x")), dir);
    CHECK_EQ(cUniFontMap::node::makeCacheBasePath(), dir);

    cFontInfo info("N_1_2_3_ff_ff");
    CHECK_EQ(info.mName, QStringLiteral("N_1_2_3_ff_ff"));
    CHECK_EQ(info.rectPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.rects"));
    CHECK_EQ(info.pngPath(), dir + QStringLiteral("/N_1_2_3_ff_ff.png"));
    CHECK_EQ(cUniFontMap::node::makeCacheRectsPath(info), dir + QStringLiteral("N_1_2_3_ff_ff.rects"));
    CHECK_EQ(cUniFontMap::node::makeCacheImagePath(info), dir + QStringLiteral("N_1_2_3_ff_ff.png"));

    // exists() wants both files.
    CHECK(!info.exists());
    CHECK(touch(info.rectPath()));
    CHECK(!info.exists());
    CHECK(QFile::remove(info.rectPath()) && touch(info.pngPath()));
    CHECK(!info.exists());
    CHECK(touch(info.rectPath()));
    CHECK(info.exists());
    return 0;
}

DTEST_CHILD(settingsFromEnvironment)
{
    CHECK_EQ(cUniFontMap::node::makeCacheBasePath(), qEnvironmentVariable("DORURIZAR_FONTMAP_CACHE"));
    CHECK(QDir(cUniFontMap::node::makeCacheBasePath()).exists());
    return 0;
}

DTEST_CHILD(settingsFromXdgCache)
{
    CHECK_EQ(cUniFontMap::node::makeCacheBasePath(),
                  qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/dorurizar/fontmaps"));
    CHECK(QDir(cUniFontMap::node::makeCacheBasePath()).exists());
    return 0;
}

class tst_FontInfo : public QObject
{
    Q_OBJECT

    // The fields of a description, then its canonical name.
    static void addDescriptionColumns()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("weight");
        QTest::addColumn<int>("border");
        QTest::addColumn<QRgb>("color");
        QTest::addColumn<QRgb>("borderColor");
        QTest::addColumn<QString>("name");
    }

private slots:
    void canonicalName_data()
    {
        addDescriptionColumns();
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
        addDescriptionColumns();
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

    void cachePaths_data()
    {
        QTest::addColumn<QString>("spelling");
        QTest::newRow("without trailing slash") << QStringLiteral("/cache");
        QTest::newRow("with trailing slash") << QStringLiteral("/");
        // A '%' must not be taken for an argument marker.
        QTest::newRow("percent signs") << QStringLiteral("/%2%1");
    }

    void cachePaths()
    {
        QFETCH(QString, spelling);
        EXPECT_CHILD_PASSES("cachePathsIn", 60000, QStringList{QStringLiteral("CACHE_SPELLING=") + spelling});
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
