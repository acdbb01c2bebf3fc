// First-run generation: the generators started, their progress, the dialog,
// and what happens when they fail; then the real generator end to end.
// Every case runs in a child whose working directory holds the ./fontgen to use.

#include <testsupport.h>

#include <dorurizar/unifontmap.h>
#include <atlasfile.h>

#include <QPainter>
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <ctime>
#include <memory>

#include <sys/resource.h>

#ifndef DORURIZAR_FONTGEN_PATH
#define DORURIZAR_FONTGEN_PATH ""  // built without the generator: its cases skip
#endif

namespace {

// Stands in for the generator; FAKE_MODE picks what it does, p writes one
// progress value given in octal.
const char kFakeGenerator[] = R"(#!/bin/sh
echo "$$ $*" >> "$FAKE_LOG"
echo "fake complains" >&2
p() { printf "\\000\\000\\000\\$1"; }
publish() { cp "$FAKE_SRC.rects" "$2/$1.rects" && cp "$FAKE_SRC.png" "$2/$1.part" && mv "$2/$1.part" "$2/$1.png"; }
case "$FAKE_MODE" in
copy) sleep 0.25; publish "$@"; p 144 ;;
exit) exit 0 ;;
crash) p 062; kill -SEGV $$ ;;
hang) p 062; exec sleep 1000 ;;
neg) printf '\377\377\377\373' ;;
many) p 012; p 024; p 036 ;;
split) printf '\000\000'; sleep 0.2; printf '\000\107' ;;
flood) publish "$@"; exec cat /dev/zero ;;
holdpipe) publish "$@"; sleep 5 & p 144 ;;
orphans) publish "$@"; sleep 1000 & echo $! >> kids.log; exec sleep 1000 ;;
mixed)
    case "$1" in
    System_10_75_1_ffff0000_ff000000) publish "$@"; p 144; exit 0 ;;
    System_10_75_1_ffffff00_ff000000) p 372 ;;
    System_10_75_1_ffffffff_ff000000) printf '\377\377\377\373' ;;
    *) p 000 ;;
    esac
    sleep 0.4 ;;
esac
)";

// Counts the pixels of r that are not fully transparent.
int inked(QImage const& img, QRect const& r)
{
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            count += qAlpha(img.pixel(x, y)) != 0;
    return count;
}

cFontInfo const kRequest("Tahoma_12_-1_2_ff303040_ff000000");

} // namespace

class tst_FontGen : public QObject
{
    Q_OBJECT

    // The parent's alone: a child ended by the fatal message would leave its own behind.
    std::unique_ptr<QTemporaryDir> mTmp{dtest::isChild() ? nullptr : new QTemporaryDir};
    QString mDir;  // the current row's working directory, and its child's environment
    QStringList mEnv;

    // Prepares, in the parent, the current row's working directory: a fake
    // ./fontgen (unless `generator` is false), a source atlas for it to copy
    // and a cache, holding `cached` when given.
    void prepare(QString const& mode, bool generator = true, QString const& cached = QString())
    {
        if (dtest::isChild())
            return;
        mDir = mTmp->path() + QLatin1Char('/') + QLatin1String(QTest::currentTestFunction()) + QLatin1Char('-')
            + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        QDir().mkpath(mDir + QStringLiteral("/cache"));
        QFile script(mDir + QStringLiteral("/fontgen"));
        if (generator && script.open(QIODevice::WriteOnly) && script.write(kFakeGenerator) > 0)
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const atlasfile::Synthetic a = atlasfile::makeSynthetic([](int b) { return b > 32 ? 5 : 0; }, 9, 1, 0xffffffff, 0xff000000);
        atlasfile::writeAtlas(mDir, QStringLiteral("source"), a.image, a.boxes);
        if (!cached.isEmpty())
            atlasfile::writeAtlas(mDir + QStringLiteral("/cache"), cached, a.image, a.boxes);
        mEnv = QStringList{QStringLiteral("DORURIZAR_FONTMAP_CACHE=") + mDir + QStringLiteral("/cache"),
                           QStringLiteral("FAKE_MODE=") + mode, "FAKE_LOG=started.log", "FAKE_SRC=source"};
    }

private slots:
    // `lastValue` is the dialog's last value below 100, -1 when not checked.
    // Generators that take a quarter of a second finish well within a limit of 5 s,
    // and within the default one that a limit of 0 stands for.
    void generation_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("cached");
        QTest::addColumn<int>("lastValue");
        QTest::addColumn<int>("nodes");
        QTest::addColumn<int>("limit");
        QTest::newRow("twelve started in table order") << "copy" << QString() << -1 << 12 << 5;
        QTest::newRow("limit 0: the default") << "copy" << QString() << -1 << 12 << 0;
        // Regression: one done, one at 250, one at -5, nine at 0 show (100 + 100) / 12.
        QTest::newRow("progress clamped and averaged") << "mixed" << QString() << 16 << 1 << 5;
        QTest::newRow("one atlas present, none started") << "copy" << "Other_8_-1_1_ffffffff_ff000000" << -1 << 1 << 5;
    }

    void generation()
    {
        QFETCH(QString, mode);
        QFETCH(QString, cached);
        QFETCH(int, lastValue);
        QFETCH(int, nodes);
        QFETCH(int, limit);
        prepare(mode, true, cached);
        DTEST_IN_CHILD(30000, mEnv << QStringLiteral("DORURIZAR_FONTGEN_TIMEOUT=%1").arg(limit), mDir);

        QString look;  // what the progress dialog looked like, and its last value below 100
        int last = -1;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (QProgressDialog* d = qobject_cast<QProgressDialog*>(w)) {
                    look = QStringLiteral("%1 %2..%3 cancel %4 frameless %5 window-modal %6 shown %7")
                               .arg(d->labelText()).arg(d->minimum()).arg(d->maximum())
                               .arg(!d->findChildren<QPushButton*>().isEmpty())
                               .arg(d->windowFlags().testFlag(Qt::FramelessWindowHint))
                               .arg(d->windowModality() == Qt::WindowModal).arg(d->isVisible());
                    last = d->value() < 100 ? d->value() : last;
                }
        });
        probe.start(20);
        cUniFontMap map;
        QVERIFY(map.Create(kRequest));
        QVERIFY(!map.image().isNull());
        QCOMPARE(cUniFontMap::node::mNodes.size(), nodes);
        // The arguments of each fake, by process id: pids are handed out in fork
        // order, so this is start order once a wrap past pid_max is undone.
        QMap<qint64, QStringList> started;
        QFile log(qEnvironmentVariable("FAKE_LOG"));
        for (QByteArray const& line : log.open(QIODevice::ReadOnly) ? log.readAll().split('\n') : QList<QByteArray>()) {
            QStringList parts = QString::fromLocal8Bit(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (parts.size() >= 2)
                started.insert(parts.takeFirst().toLongLong(), parts);
        }
        QFile pidMax(QStringLiteral("/proc/sys/kernel/pid_max"));
        qint64 const wrap = pidMax.open(QIODevice::ReadOnly) ? pidMax.readAll().trimmed().toLongLong() : 0;
        if (wrap > 0 && !started.isEmpty() && started.lastKey() - started.firstKey() > wrap / 2) {
            QMap<qint64, QStringList> unwrapped;
            for (auto it = started.cbegin(); it != started.cend(); ++it)
                unwrapped.insert(it.key() < wrap / 2 ? it.key() + wrap : it.key(), it.value());
            started.swap(unwrapped);
        }
        QList<QStringList> expected;
        for (int i = 0; i < 12 && cached.isEmpty(); ++i)
            expected << QStringList{QString::fromLatin1(cUniFontMap::mDefaultFontSet[i]),
                                    cUniFontMap::node::makeCacheBasePath(),
                                    i < 3 ? QStringLiteral("Monotype") : QStringLiteral("Sans")};
        QCOMPARE(started.values(), expected);
        QCOMPARE(look, cached.isEmpty() ? QStringLiteral("Fonts creation on the first run. Please be patient. "
                                                         "0..100 cancel 0 frameless 1 window-modal 1 shown 1")
                                        : QString());
        if (lastValue >= 0)
            QCOMPARE(last, lastValue);
    }

    // Regressions: a lookup from a host timer during generation started a
    // second, nested one; a flooding generator kept the host busy reading
    // until the limit; a script's children outlived the host.
    void generationBounded_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<double>("limit");
        QTest::newRow("lookup while generating") << "copy" << 30.0;
        QTest::newRow("flooding generator") << "flood" << 30.0;
        QTest::newRow("grandchild holds the pipe") << "holdpipe" << 30.0;
        QTest::newRow("script's children ended") << "orphans" << 0.3;
    }

    void generationBounded()
    {
        QFETCH(QString, mode);
        QFETCH(double, limit);
        prepare(mode);
        DTEST_IN_CHILD(15000, mEnv << QStringLiteral("DORURIZAR_FONTGEN_TIMEOUT=%1").arg(limit), mDir);
        std::unique_ptr<cUniFontMap> nested;
        QTimer::singleShot(100, [&] { nested.reset(new cUniFontMap(kRequest)); });
        const std::clock_t cpu = std::clock();
        cUniFontMap map(kRequest);
        QVERIFY(std::clock() - cpu < 2 * CLOCKS_PER_SEC);
        QVERIFY(!map.image().isNull() && (nested ? !nested->image().isNull() : mode != QLatin1String("copy")));
        QFile log(qEnvironmentVariable("FAKE_LOG")), kids(QStringLiteral("kids.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count('\n'), 12);
        // Killed, they are gone or dead once the kernel has run them again.
        const auto ended = [](QByteArray const& pid) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid)));
            return pid.isEmpty() || !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        };
        for (QByteArray const& pid : kids.open(QIODevice::ReadOnly) ? kids.readAll().split('\n') : QList<QByteArray>())
            QTRY_VERIFY2_WITH_TIMEOUT(ended(pid), pid.constData(), 5000);
    }

    // Regression: each of these used to leave the host waiting forever. The
    // generators' complaints are not the host's: they never reach its stderr.
    void failingGeneratorIsFatal_data()
    {
        QTest::addColumn<QString>("mode");
        for (char const* mode : {"exit", "crash", "missing", "hang"})
            QTest::newRow(mode) << QString::fromLatin1(mode);
    }

    void failingGeneratorIsFatal()
    {
        if (dtest::isChild()) {
            cUniFontMap map(kRequest);
            return;  // not reached: the fatal message ends the process
        }
        QFETCH(QString, mode);
        prepare(mode, mode != QLatin1String("missing"));
        // A short generation limit, so the hanging generator is stopped soon.
        const dtest::ChildResult r = dtest::runThisInChild(10000, mEnv << QStringLiteral("DORURIZAR_FONTGEN_TIMEOUT=0.3"), mDir);
        QVERIFY2(r.started && !r.timedOut && (r.crashed || r.exitCode) && r.output.contains("Can't create font map!")
                     && !r.output.contains("fake complains"),
                 r.output.constData());
    }

    // Regression: progress is read in whole 4-byte values, clamped to 0..100.
    void progress_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("expected");
        QTest::newRow("negative") << "neg" << 0;
        QTest::newRow("last of several") << "many" << 30;
        QTest::newRow("value split over two writes") << "split" << 71;
    }

    void progress()
    {
        QFETCH(QString, mode);
        QFETCH(int, expected);
        prepare(mode);
        DTEST_IN_CHILD(30000, mEnv, mDir);
        cUniFontMap::fontgen g;
        QCOMPARE(g.getProgress(), 0);
        g.run(mode, QDir::currentPath(), QString());
        if (mode == QLatin1String("split")) {
            QVERIFY(g.mProcess.waitForReadyRead(10000));
            QCOMPARE(g.getProgress(), 0);
        }
        QVERIFY(g.mProcess.waitForFinished(10000));
        QCOMPARE(g.getProgress(), expected);
    }

    // Regression: the real generator fills an empty cache with 12 loadable
    // atlases whose glyphs, with the reach of their borders, do not overlap.
    void realGeneratorFillsEmptyCache()
    {
        if (!*DORURIZAR_FONTGEN_PATH)
            QSKIP("fontgen is not built");
        prepare(QString(), false);
        if (!dtest::isChild())
            QVERIFY(QFile::link(QStringLiteral(DORURIZAR_FONTGEN_PATH), mDir + QStringLiteral("/fontgen")));
        DTEST_IN_CHILD(120000, mEnv, mDir);

        cUniFontMap map(kRequest);
        QVERIFY(!map.image().isNull());
        QCOMPARE(cUniFontMap::node::mNodes.size(), 12);
        QStringList expected;  // and nothing temporary left behind
        for (char const* name : cUniFontMap::mDefaultFontSet)
            expected << QLatin1String(name) + QStringLiteral(".png") << QLatin1String(name) + QStringLiteral(".rects");
        expected.sort();
        QCOMPARE(QDir(cUniFontMap::node::makeCacheBasePath()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);

        QStringList spilled;  // atlases with ink outside every cell
        for (cUniFontMap::node* n : cUniFontMap::node::mNodes) {
            QImage const& img = n->mImage;
            const int B = n->mInfo.mBorder;
            QCOMPARE(img.format(), QImage::Format_ARGB32);
            QImage outside = img;  // what no engine copies: each box grown by 3 x B is cleared
            QPainter clear(&outside);
            clear.setCompositionMode(QPainter::CompositionMode_Clear);
            for (int b = 0; b < 256; ++b) {
                QRect const& box = n->mRects[b];
                if (box.isEmpty()) {
                    QCOMPARE(inked(img, QRect(box.topLeft(), QSize(3 * B, 3 * B))), 0);
                    continue;
                }
                const QRect reach(box.topLeft(), box.size() + QSize(4 * B, 4 * B));
                QVERIFY(img.rect().contains(reach));
                for (int o = 0; o < 256; ++o)
                    QVERIFY(o == b || n->mRects[o].isEmpty() || !reach.intersects(n->mRects[o]));
                clear.fillRect(QRect(box.topLeft(), box.size() + QSize(3 * B, 3 * B)), Qt::black);
            }
            clear.end();
            // Letters, Latin and Cyrillic, are there and inked.
            for (uchar b : QByteArray("AWgj\xc6\xe9"))
                QVERIFY(!n->mRects[b].isEmpty() && inked(img, n->mRects[b]) > 0);
            QVERIFY(n->mRects[' '].width() > 0);
            QVERIFY(dtest::countPixels(img, n->mInfo.mColor.rgba()) > 0);
            if (inked(outside, outside.rect()) > 0)
                spilled << n->mInfo.mName;
        }
        // Bold System and Tahoma 12 and 23 put ink right of the cells.
        QEXPECT_FAIL("", "fontgen inks pixels that no engine copies", Continue);
        QCOMPARE(spilled, QStringList());
    }

    // A good command line reports rising progress up to 100 and leaves the two
    // files, an atlas the library loads; a bad one ends with a complaint and
    // leaves nothing. Regression: the largest atlas took minutes and 0.8 GB.
    void generatorCommandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString tahoma = QStringLiteral("Tahoma_12_-1_2_ffff0000_ff000000");
        QTest::newRow("good") << QStringList{tahoma, "DIR", "Sans"};
        QTest::newRow("good: size 100, border 32") << QStringList{"Tahoma_100_-1_32_ffff0000_ff000000", "DIR", "Sans"};
        QTest::newRow("none") << QStringList();
        QTest::newRow("name only") << QStringList{tahoma};
        QTest::newRow("not canonical") << QStringList{"Tahoma_012_-1_2_ffff0000_ff000000", "DIR"};
        QTest::newRow("climbs out") << QStringList{"../" + tahoma, "DIR"};
        QTest::newRow("size 0") << QStringList{"Tahoma_0_-1_2_ffff0000_ff000000", "DIR"};
        QTest::newRow("unwritable dir") << QStringList{tahoma, "/proc/self/no/such/dir"};
        QTest::newRow("too many") << QStringList{tahoma, "DIR", "Sans", "more"};
        QTest::newRow("regression: 64 KiB name, refused unparsed") << QStringList{QString(65536, '_'), "DIR"};
    }

    void generatorCommandLine()
    {
        if (!*DORURIZAR_FONTGEN_PATH)
            QSKIP("fontgen is not built");
        QFETCH(QStringList, args);
        QTemporaryDir out;
        QProcess gen;
        gen.start(QStringLiteral(DORURIZAR_FONTGEN_PATH), args.replaceInStrings(QStringLiteral("DIR"), out.path()));
        QVERIFY(gen.waitForFinished(60000));
        QCOMPARE(gen.exitStatus(), QProcess::NormalExit);
        const QStringList files = QDir(out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        if (!QByteArray(QTest::currentDataTag()).startsWith("good")) {
            QVERIFY(gen.exitCode() != 0 && gen.readAllStandardError().contains("fontgen: "));
            QCOMPARE(files, QStringList());
            return;
        }
        QCOMPARE(gen.exitCode(), 0);
        const QByteArray bytes = gen.readAllStandardOutput();
        QVERIFY(bytes.size() >= 8 && bytes.size() % 4 == 0);
        QDataStream in(bytes);
        qint32 last = -1;
        for (qint32 value = 0; !in.atEnd(); last = value) {
            in >> value;
            QVERIFY(value >= last && value <= 100);
        }
        QCOMPARE(last, 100);
        QCOMPARE(files, (QStringList{args[0] + QStringLiteral(".png"), args[0] + QStringLiteral(".rects")}));
        QSettings rects(out.filePath(args[0] + QStringLiteral(".rects")), QSettings::IniFormat);
        QCOMPARE(rects.beginReadArray(QStringLiteral("rects")), 256);
        const QSize size = QImageReader(out.filePath(args[0] + QStringLiteral(".png"))).size();
        QVERIFY(size.width() <= 16384 && size.height() <= 16384 && qint64(size.width()) * size.height() <= 1 << 27);
    }

    // Regression: a file size limit reached at the last byte of the atlas used
    // to end in success with a short file under its final name. Any failed
    // write now fails the run, and no file takes a final name.
    void fullDiskPublishesNothing_data()
    {
        QTest::addColumn<QString>("file");  // the file that misses its last byte
        QTest::newRow("rects") << ".rects";
        QTest::newRow("png") << ".png";
    }

    void fullDiskPublishesNothing()
    {
        if (!*DORURIZAR_FONTGEN_PATH)
            QSKIP("fontgen is not built");
        DTEST_IN_CHILD(60000);  // the limit stays in the child
        QFETCH(QString, file);
        const QString name = QStringLiteral("Tahoma_12_-1_2_ffff0000_ff000000");
        QTemporaryDir whole, full;
        QProcess gen;
        gen.start(QStringLiteral(DORURIZAR_FONTGEN_PATH), {name, whole.path()});
        QVERIFY(gen.waitForFinished(30000) && gen.exitCode() == 0);
        rlimit limit{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
        limit.rlim_cur = rlim_t(QFileInfo(whole.filePath(name + file)).size() - 1);
        QVERIFY(limit.rlim_cur > 0 && setrlimit(RLIMIT_FSIZE, &limit) == 0);
        std::signal(SIGXFSZ, SIG_IGN);  // inherited: writes over the limit fail with EFBIG
        gen.start(QStringLiteral(DORURIZAR_FONTGEN_PATH), {name, full.path()});
        QVERIFY(gen.waitForFinished(30000) && gen.exitStatus() == QProcess::NormalExit && gen.exitCode() != 0);
        QVERIFY(gen.readAllStandardError().contains("File too large")
                && !gen.readAllStandardOutput().endsWith(QByteArray("\0\0\0d", 4)));
        QCOMPARE(QDir(full.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The border grown in one pass is the border of (2B + 1)^2 blits to the
    // last rounding, on glyphs and on noise of clear, partial and solid pixels
    // (no solid ones in the bottom half: there every pixel sees many partial ones).
    void grownBorderMatchesBlits_data()
    {
        QTest::addColumn<int>("border");
        for (int border : {1, 2, 3, 8, 32})
            QTest::newRow(qPrintable(QString::number(border))) << border;
    }

    void grownBorderMatchesBlits()
    {
        QFETCH(int, border);
        QImage shapes(120, 90, QImage::Format_ARGB32_Premultiplied), blitted = shapes;
        QRandomGenerator random(border);
        for (int y = 0; y < shapes.height(); ++y)
            for (int x = 0; x < shapes.width(); ++x) {
                const int r = random.bounded(20), a = x < 60 || r < 14 ? 0 : r == 14 && y < 45 ? 255 : random.bounded(1, 255);
                shapes.setPixel(x, y, a * 0x01010101u);
            }
        QPainter glyphs(&shapes);
        glyphs.setFont(QFont(QString(), 40));
        glyphs.setPen(Qt::white);
        glyphs.drawText(shapes.rect(), Qt::AlignVCenter, QStringLiteral("Wg"));
        glyphs.end();
        blitted.fill(Qt::transparent);
        QPainter p(&blitted);
        for (int dy = -border; dy <= border; ++dy)
            for (int dx = -border; dx <= border; ++dx)
                p.drawImage(dx, dy, shapes);
        p.end();
        QVERIFY(atlasfile::growShapes(shapes, border));
        QCOMPARE(shapes, blitted);
    }
};

DTEST_MAIN(tst_FontGen)
#include "tst_fontgen.moc"
