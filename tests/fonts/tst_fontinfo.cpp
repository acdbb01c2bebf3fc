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
    // Each row's fields (family, size, weight, border, colour, border colour)
    // give its canonical name; its text, parsed, gives the fields back unless
    // the family is empty, which no parse accepts.
    void names_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVariantList>("fields");
        QTest::addColumn<QString>("name");
        const QVariantList tahoma{"Tahoma", 10, -1, 2, 0xff303040u, 0xff000000u};
        const QVariantList none{"", -1, -1, 0, 0xffffffffu, 0xff000000u};
        const QString tahomaName = QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000");
        QTest::newRow("file name") << QByteArray("Tahoma_10_-1_2_ff303040_ff000000.png") << tahoma << tahomaName;
        QTest::newRow("path") << QByteArray("/any/dir/Tahoma_10_-1_2_ff303040_ff000000") << tahoma << tahomaName;
        QTest::newRow("normalised") << QByteArray("Tahoma_010_-1_2_FF303040_FF000000") << tahoma << tahomaName;
        QTest::newRow("bold system") << QByteArray("System_10_75_1_ffffff00_ff000000")
                                     << QVariantList{"System", 10, 75, 1, 0xffffff00u, 0xff000000u}
                                     << "System_10_75_1_ffffff00_ff000000";
        QTest::newRow("transparent colours unpadded") << QByteArray("A_1_0_0_ff0000_f")
                                                      << QVariantList{"A", 1, 0, 0, 0x00ff0000u, 0x0000000fu}
                                                      << "A_1_0_0_ff0000_f";
        QTest::newRow("underscores in family") << QByteArray("DejaVu_Sans_12_75_1_ffffffff_ff000000.rects")
                                               << QVariantList{"DejaVu_Sans", 12, 75, 1, 0xffffffffu, 0xff000000u}
                                               << "DejaVu_Sans_12_75_1_ffffffff_ff000000";
        QTest::newRow("colour wider than 32 bits cut") << QByteArray("A_1_0_0_1ff0000ff_ff")
                                                       << QVariantList{"A", 1, 0, 0, 0xff0000ffu, 0xffu}
                                                       << "A_1_0_0_ff0000ff_ff";
        for (char const* junk : {"_-1_-1_0_ffffffff_ff000000", "readme.png", "", "A_10_-1_-2_ff_ff", "A_10_-1_2_ff",
                                 "A_10_-1_2_fg_ff"})
            QTest::addRow("rejects '%s'", junk) << QByteArray(junk) << none << "_-1_-1_0_ffffffff_ff000000";
    }

    void names()
    {
        QFETCH(QByteArray, text);
        QFETCH(QVariantList, fields);
        QFETCH(QString, name);
        const cFontInfo made(fields[0].toString(), fields[1].toInt(), fields[2].toInt(), fields[3].toInt(),
                             QColor::fromRgba(fields[4].toUInt()), QColor::fromRgba(fields[5].toUInt()), true);
        QCOMPARE(made.mName, name);
        QCOMPARE(made.mFlag, true);

        const cFontInfo parsed(text.constData());
        QCOMPARE(parsed.mFlag, false);
        if (fields[0].toString().isEmpty()) {
            QVERIFY(parsed.mName.isEmpty() && parsed.mFamily.isEmpty());
            QVERIFY(!parsed.mColor.isValid() && !parsed.mBorderColor.isValid());
            return;
        }
        QCOMPARE((QVariantList{parsed.mFamily, parsed.mFontSize, parsed.mWeight, parsed.mBorder,
                               parsed.mColor.rgba(), parsed.mBorderColor.rgba()}),
                 fields);
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
        QTest::newRow("XDG cache home") << QString()
                                        << QStringList{"DORURIZAR_FONTMAP_CACHE=", "XDG_CACHE_HOME=TMP/xdg"}
                                        << "/xdg/dorurizar/fontmaps";
    }

    void cacheDirectory()
    {
        DTEST_IN_CHILD(30000);
        QFETCH(QString, given);
        QFETCH(QStringList, env);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        for (QString const& entry : env) {
            const QString value = entry.section(QLatin1Char('='), 1).replace(QStringLiteral("TMP"), tmp.path());
            qputenv(entry.section(QLatin1Char('='), 0, 0).toLatin1().constData(), value.toLocal8Bit());
        }
        const QString dir = tmp.path() + expected;
        QCOMPARE(given.isNull() ? cUniFontMap::node::makeCacheBasePath()
                                : cFontInfo::makeCacheBasePath(tmp.path() + given),
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
        QVERIFY(rects.open(QIODevice::WriteOnly));
        QVERIFY(!info.exists());
        QVERIFY(rects.remove() && png.open(QIODevice::WriteOnly));
        QVERIFY(!info.exists());
        QVERIFY(rects.open(QIODevice::WriteOnly));
        QVERIFY(info.exists());
    }
};

DTEST_MAIN(tst_FontInfo)
#include "tst_fontinfo.moc"
