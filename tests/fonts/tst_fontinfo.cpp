// Font descriptions: canonical names, their parse, and the cache paths.

#include <testsupport.h>

#include <dorurizar/unifontmap.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_FontInfo : public QObject
{
    Q_OBJECT

private slots:
    // Each row's canonical name holds its fields: the family, then size,
    // weight, border, colour and border colour (colours in hex). The fields
    // give the name; the text, parsed, gives the fields back unless the
    // family is empty, which no parse accepts.
    void names_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("name");
        const QString tahoma = QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000");
        QTest::newRow("file name") << QByteArray("Tahoma_10_-1_2_ff303040_ff000000.png") << tahoma;
        QTest::newRow("path") << QByteArray("/any/dir/Tahoma_10_-1_2_ff303040_ff000000") << tahoma;
        QTest::newRow("normalised") << QByteArray("Tahoma_010_-1_2_FF303040_FF000000") << tahoma;
        QTest::newRow("bold system") << QByteArray("System_10_75_1_ffffff00_ff000000") << "System_10_75_1_ffffff00_ff000000";
        QTest::newRow("transparent colours unpadded") << QByteArray("A_1_0_0_ff0000_f") << "A_1_0_0_ff0000_f";
        QTest::newRow("underscores in family") << QByteArray("DejaVu_Sans_12_75_1_ffffffff_ff000000.rects")
                                               << "DejaVu_Sans_12_75_1_ffffffff_ff000000";
        QTest::newRow("colour wider than 32 bits cut") << QByteArray("A_1_0_0_1ff0000ff_ff") << "A_1_0_0_ff0000ff_ff";
        for (char const* junk : {"_-1_-1_0_ffffffff_ff000000", "readme.png", "", "A_10_-1_-2_ff_ff", "A_10_-1_2_ff",
                                 "A_10_-1_2_fg_ff"})
            QTest::addRow("rejects '%s'", junk) << QByteArray(junk) << "_-1_-1_0_ffffffff_ff000000";
    }

    void names()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, name);
        QStringList f = name.split(QLatin1Char('_'));
        f = QStringList{f.mid(0, f.size() - 5).join(QLatin1Char('_'))} + f.mid(f.size() - 5);
        const cFontInfo made(f[0], f[1].toInt(), f[2].toInt(), f[3].toInt(), QColor::fromRgba(f[4].toUInt(nullptr, 16)),
                             QColor::fromRgba(f[5].toUInt(nullptr, 16)), true);
        QCOMPARE(made.mName, name);
        QCOMPARE(made.mFlag, true);

        const cFontInfo parsed(text.constData());
        QCOMPARE(parsed.mFlag, false);
        if (f[0].isEmpty()) {
            QVERIFY(parsed.mName.isEmpty() && parsed.mFamily.isEmpty());
            QVERIFY(!parsed.mColor.isValid() && !parsed.mBorderColor.isValid());
            return;
        }
        QCOMPARE((QVariantList{parsed.mFamily, parsed.mFontSize, parsed.mWeight, parsed.mBorder, parsed.mColor.rgba(),
                               parsed.mBorderColor.rgba()}),
                 (QVariantList{f[0], made.mFontSize, made.mWeight, made.mBorder, made.mColor.rgba(),
                               made.mBorderColor.rgba()}));
        QCOMPARE(parsed.mName, name);
    }

    // The cache directory is fixed once per process, so each row runs in a
    // child. A null `given` asks the settings, with `env` set (TMP names the
    // row's temporary directory).
    void cacheDirectory_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("expected");
        QTest::newRow("given") << "/cache" << QStringList() << "/cache";
        QTest::newRow("given with trailing slash") << "/" << QStringList() << "/";
        // A '%' must not be taken for an argument marker.
        QTest::newRow("given with percent signs") << "/%2%1" << QStringList() << "/%2%1";
        QTest::newRow("settings variable") << QString() << QStringList{"DORURIZAR_FONTMAP_CACHE=TMP/env/fontmaps"}
                                           << "/env/fontmaps";
        QTest::newRow("XDG cache home") << QString() << QStringList{"DORURIZAR_FONTMAP_CACHE=", "XDG_CACHE_HOME=TMP/xdg"}
                                        << "/xdg/dorurizar/fontmaps";
    }

    void cacheDirectory()
    {
        DTEST_IN_CHILD(30000);
        QFETCH(QString, given);
        QFETCH(QStringList, env);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        for (QString const& entry : env)
            qputenv(entry.section(QLatin1Char('='), 0, 0).toLatin1().constData(),
                    entry.section(QLatin1Char('='), 1).replace(QStringLiteral("TMP"), tmp.path()).toLocal8Bit());
        const QString dir = tmp.path() + expected;
        QCOMPARE(given.isNull() ? cUniFontMap::node::makeCacheBasePath() : cFontInfo::makeCacheBasePath(tmp.path() + given),
                 dir);
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
};

DTEST_MAIN(tst_FontInfo)
#include "tst_fontinfo.moc"
