// First-run generation: the generators started, their progress, the dialog,
// and what happens when they fail; then the real generator end to end.
// Every case runs in a child whose working directory holds the ./fontgen to use.

#include <childcheck.h>

#include <dorurizar/unifontmap.h>
#include <atlasfile.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#ifndef DORURIZAR_FONTGEN_PATH
#define DORURIZAR_FONTGEN_PATH ""  // built without the generator: its cases skip
#endif

namespace {

// Stands in for the generator; FAKE_MODE picks what it does.
const char kFakeGenerator[] = R"(#!/bin/sh
echo "$$ $*" >> "$FAKE_LOG"
publish() {
    cp "$FAKE_SRC.rects" "$2/$1.rects" && cp "$FAKE_SRC.png" "$2/$1.png.part" && mv "$2/$1.png.part" "$2/$1.png"
}
case "$FAKE_MODE" in
copy) publish "$@"; printf '\000\000\000\144' ;;
exit) exit 0 ;;
crash) printf '\000\000\000\062'; kill -SEGV $$ ;;
hang) printf '\000\000\000\062'; exec sleep 1000 ;;
mixed)
    case "$1" in
    System_10_75_1_ffff0000_ff000000) publish "$@"; printf '\000\000\000\144'; exit 0 ;;
    System_10_75_1_ffffff00_ff000000) printf '\000\000\000\372' ;;
    System_10_75_1_ffffffff_ff000000) printf '\377\377\377\373' ;;
    *) printf '\000\000\000\000' ;;
    esac
    sleep 2 ;;
progress)
    case "$1" in
    neg) printf '\377\377\377\373' ;;
    big) printf '\000\000\000\372' ;;
    many) printf '\000\000\000\012\000\000\000\024\000\000\000\036' ;;
    split) printf '\000\000'; sleep 1; printf '\000\107' ;;
    esac ;;
esac
)";

// What the child saw of the progress dialog while Create ran.
struct DialogProbe {
    bool seen = false;
    bool cancelButton = false;
    bool frameless = false;
    bool windowModal = false;
    int minimum = -1, maximum = -1, lastValue = -1;
    QString label;

    void watch()
    {
        QTimer* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                QProgressDialog* d = qobject_cast<QProgressDialog*>(w);
                if (!d)
                    continue;
                seen = true;
                cancelButton = !d->findChildren<QPushButton*>().isEmpty();
                frameless = d->windowFlags().testFlag(Qt::FramelessWindowHint);
                windowModal = d->windowModality() == Qt::WindowModal;
                minimum = d->minimum();
                maximum = d->maximum();
                label = d->labelText();
                if (d->value() < 100)
                    lastValue = d->value();
            }
        });
        timer->start(50);
    }
};

int createAndExpectAtlas(DialogProbe* probe = nullptr)
{
    if (probe)
        probe->watch();
    cUniFontMap map(cFontInfo("Tahoma_12_-1_2_ff303040_ff000000"));
    CHECK(map.mNode != nullptr);
    CHECK(!map.image().isNull());
    return 0;
}

QList<QStringList> loggedStarts()
{
    QFile log(qEnvironmentVariable("FAKE_LOG"));
    QList<QPair<qint64, QStringList>> starts;
    if (log.open(QIODevice::ReadOnly)) {
        for (QByteArray const& line : log.readAll().split('\n')) {
            QStringList parts = QString::fromLocal8Bit(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (parts.size() >= 2)
                starts.append({parts.takeFirst().toLongLong(), parts});
        }
    }
    // Process ids grow in start order.
    std::sort(starts.begin(), starts.end(), [](auto const& a, auto const& b) { return a.first < b.first; });
    QList<QStringList> out;
    for (auto const& s : starts)
        out << s.second;
    return out;
}

} // namespace

DTEST_CHILD(twelveStartedInTableOrder)
{
    DialogProbe probe;
    CHECK(createAndExpectAtlas(&probe) == 0);
    const QList<QStringList> starts = loggedStarts();
    CHECK_EQ(starts.size(), 12);
    const QString dir = cUniFontMap::node::makeCacheBasePath();
    for (int i = 0; i < 12; ++i) {
        const QStringList expected{QString::fromLatin1(cUniFontMap::mDefaultFontSet[i]), dir,
                                   i < 3 ? QStringLiteral("Monotype") : QStringLiteral("Sans")};
        CHECK_EQ(starts[i], expected);
    }
    CHECK_EQ(cUniFontMap::node::mNodes.size(), 12);
    CHECK(probe.seen);
    CHECK(!probe.cancelButton);
    CHECK(probe.frameless);
    CHECK(probe.windowModal);
    CHECK_EQ(probe.minimum, 0);
    CHECK_EQ(probe.maximum, 100);
    CHECK_EQ(probe.label, QStringLiteral("Fonts creation on the first run. Please be patient."));
    return 0;
}

// One generator done, one at 250, one at -5, nine at 0: the dialog shows (100 + 100) / 12.
DTEST_CHILD(progressClampedAndAveraged)
{
    DialogProbe probe;
    CHECK(createAndExpectAtlas(&probe) == 0);
    CHECK_EQ(probe.lastValue, 16);
    CHECK_EQ(cUniFontMap::node::mNodes.size(), 1);
    return 0;
}

DTEST_CHILD(oneAtlasPresentNoneStarted)
{
    DialogProbe probe;
    CHECK(createAndExpectAtlas(&probe) == 0);
    CHECK(!QFile::exists(qEnvironmentVariable("FAKE_LOG")));
    CHECK(!probe.seen);
    return 0;
}

DTEST_CHILD(generatorEndsWithoutAtlas)
{
    createAndExpectAtlas();
    return 0;  // not reached: the fatal message ends the process
}

DTEST_CHILD(progressReadInWholeValues)
{
    const QString dir = QDir::currentPath();
    auto finalProgress = [&](char const* name) {
        cUniFontMap::fontgen g;
        g.run(QString::fromLatin1(name), dir, QString());
        g.mProcess.waitForFinished(10000);
        return g.getProgress();
    };
    CHECK_EQ(finalProgress("neg"), 0);
    CHECK_EQ(finalProgress("big"), 100);
    CHECK_EQ(finalProgress("many"), 30);

    cUniFontMap::fontgen split;
    split.run(QStringLiteral("split"), dir, QString());
    CHECK(split.mProcess.waitForReadyRead(10000));
    CHECK_EQ(split.getProgress(), 0);
    CHECK(split.mProcess.waitForFinished(10000));
    CHECK_EQ(split.getProgress(), 71);

    cUniFontMap::fontgen never;
    CHECK_EQ(never.getProgress(), 0);
    return 0;
}

DTEST_CHILD(realGeneratorFillsEmptyCache)
{
    CHECK(createAndExpectAtlas() == 0);
    const QString dir = cUniFontMap::node::makeCacheBasePath();
    CHECK_EQ(cUniFontMap::node::mNodes.size(), 12);
    QStringList expected;
    for (char const* name : cUniFontMap::mDefaultFontSet)
        expected << QString::fromLatin1(name) + QStringLiteral(".png") << QString::fromLatin1(name) + QStringLiteral(".rects");
    QStringList files = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    files.sort();
    expected.sort();
    CHECK_EQ(files, expected);  // nothing temporary left behind

    for (cUniFontMap::node* n : cUniFontMap::node::mNodes) {
        QImage const& img = n->mImage;
        const int B = n->mInfo.mBorder;
        CHECK_EQ(int(img.format()), int(QImage::Format_ARGB32));
        QImage drawn(img.size(), QImage::Format_ARGB32);  // what the engines can reach
        drawn.fill(0);
        for (int b = 0; b < 256; ++b) {
            QRect const& box = n->mRects[b];
            const QRect grown(box.topLeft(), QSize(box.width() + 4 * B, box.height() + 4 * B));
            if (box.isEmpty()) {
                for (int y = box.top(); y < box.top() + 3 * B; ++y)
                    for (int x = box.left(); x < box.left() + 3 * B; ++x)
                        CHECK_EQ(qAlpha(img.pixel(x, y)), 0);
                continue;
            }
            CHECK(img.rect().contains(grown));
            for (int o = 0; o < 256; ++o)
                CHECK(o == b || n->mRects[o].isEmpty() || !grown.intersects(n->mRects[o]));
            for (int y = box.top(); y < box.top() + box.height() + 3 * B; ++y)
                for (int x = box.left(); x < box.left() + box.width() + 3 * B; ++x)
                    drawn.setPixel(x, y, 1);
        }
        int opaque = 0, glyphColoured = 0, outside = 0;
        const QRgb glyph = n->mInfo.mColor.rgba();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                opaque += qAlpha(p) == 255;
                glyphColoured += p == glyph;
                outside += qAlpha(p) != 0 && drawn.pixel(x, y) == 0xff000000;
            }
        CHECK(opaque > 0);
        CHECK(glyphColoured > 0);
        if (outside)
            std::fprintf(stderr, "%s: %d pixels outside the drawn cells\n", qPrintable(n->mInfo.mName), outside);
        CHECK_EQ(outside, 0);

        // Letters, Latin and Cyrillic, are there and not transparent.
        for (uchar b : QByteArray("AWgj\xc6\xe9")) {
            QRect const& box = n->mRects[b];
            CHECK(box.width() > 0 && box.height() > 0);
            int inked = 0;
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    inked += qAlpha(img.pixel(x, y)) != 0;
            CHECK(inked > 0);
        }
        CHECK(n->mRects[' '].width() > 0);
    }
    return 0;
}

class tst_FontGen : public QObject
{
    Q_OBJECT

    QTemporaryDir mTmp;

    // A working directory with a fake ./fontgen, a source atlas to copy, and an empty cache.
    QString prepare(QString const& name, bool withSourceAtlas = true)
    {
        const QString dir = mTmp.path() + QLatin1Char('/') + name;
        QDir().mkpath(dir + QStringLiteral("/cache"));
        QFile script(dir + QStringLiteral("/fontgen"));
        if (!script.open(QIODevice::WriteOnly) || script.write(kFakeGenerator) < 0)
            return QString();
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (withSourceAtlas) {
            const atlasfile::Synthetic a = atlasfile::makeSynthetic([](int b) { return b > 32 ? 5 : 0; }, 9, 1,
                                                                      0xffffffff, 0xff000000);
            atlasfile::writeAtlas(dir, QStringLiteral("source"), a.image, a.boxes);
        }
        return dir;
    }

    QStringList envFor(QString const& dir, char const* mode)
    {
        return {QStringLiteral("DORURIZAR_FONTMAP_CACHE=") + dir + QStringLiteral("/cache"),
                QStringLiteral("FAKE_MODE=") + QLatin1String(mode),
                QStringLiteral("FAKE_LOG=") + dir + QStringLiteral("/started.log"),
                QStringLiteral("FAKE_SRC=") + dir + QStringLiteral("/source")};
    }

    void expectFatal(char const* mode, int timeoutMs = 30000, bool withGenerator = true)
    {
        const QString dir = prepare(QString::fromLatin1(mode));
        if (!withGenerator)
            QFile::remove(dir + QStringLiteral("/fontgen"));
        // A one-second generation limit, so the hanging generator is stopped in a second.
        const QStringList env = envFor(dir, mode) << QStringLiteral("DORURIZAR_FONTGEN_TIMEOUT=1");
        const dtest::ChildResult r = dtest::runChild("generatorEndsWithoutAtlas", timeoutMs, env, dir);
        QVERIFY2(r.started && !r.timedOut, r.output.constData());
        QVERIFY2(r.crashed || r.exitCode != 0, r.output.constData());
        QVERIFY2(r.output.contains("Can't create font map!"), r.output.constData());
    }

private slots:
    void startsTwelveInTableOrder()
    {
        const QString dir = prepare(QStringLiteral("order"));
        EXPECT_CHILD_PASSES("twelveStartedInTableOrder", 60000, envFor(dir, "copy"), dir);
    }

    void clampsAndAveragesProgress()
    {
        const QString dir = prepare(QStringLiteral("mixed"));
        EXPECT_CHILD_PASSES("progressClampedAndAveraged", 60000, envFor(dir, "mixed"), dir);
        const QString progress = prepare(QStringLiteral("progress"), false);
        EXPECT_CHILD_PASSES("progressReadInWholeValues", 60000, envFor(progress, "progress"), progress);
    }

    void startsNoneWhenOneAtlasIsCached()
    {
        const QString dir = prepare(QStringLiteral("cached"));
        const atlasfile::Synthetic a =
            atlasfile::makeSynthetic([](int b) { return b > 32 ? 5 : 0; }, 9, 1, 0xffffffff, 0xff000000);
        QVERIFY(atlasfile::writeAtlas(dir + QStringLiteral("/cache"), QStringLiteral("Other_8_-1_1_ffffffff_ff000000"),
                                  a.image, a.boxes));
        EXPECT_CHILD_PASSES("oneAtlasPresentNoneStarted", 60000, envFor(dir, "copy"), dir);
    }

    // Regressions: each of these used to leave the host waiting forever.
    void generatorExitingAtOnceIsFatalNotAHang() { expectFatal("exit"); }
    void generatorCrashingIsFatalNotAHang() { expectFatal("crash"); }
    void missingGeneratorIsFatalNotAHang() { expectFatal("missing", 30000, false); }
    void generatorHangingIsStoppedAtTheTimeLimit() { expectFatal("hang", 10000); }

    void realGenerator()
    {
        if (!*DORURIZAR_FONTGEN_PATH)
            QSKIP("fontgen is not built");
        const QString dir = mTmp.path() + QStringLiteral("/real");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::link(QStringLiteral(DORURIZAR_FONTGEN_PATH), dir + QStringLiteral("/fontgen")));
        EXPECT_CHILD_PASSES("realGeneratorFillsEmptyCache", 120000,
                            QStringList{QStringLiteral("DORURIZAR_FONTMAP_CACHE=") + dir + QStringLiteral("/cache")},
                            dir);
    }

    void generatorRefusesBadArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("none") << QStringList();
        QTest::newRow("name only") << QStringList{QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000")};
        QTest::newRow("not canonical") << QStringList{QStringLiteral("Tahoma_010_-1_2_ff303040_ff000000"), "DIR"};
        QTest::newRow("climbs out") << QStringList{QStringLiteral("../Tahoma_10_-1_2_ff303040_ff000000"), "DIR"};
        QTest::newRow("size 0") << QStringList{QStringLiteral("Tahoma_0_-1_2_ff303040_ff000000"), "DIR"};
        QTest::newRow("unwritable dir") << QStringList{QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000"),
                                                       QStringLiteral("/proc/self/no/such/dir")};
        QTest::newRow("too many") << QStringList{QStringLiteral("Tahoma_10_-1_2_ff303040_ff000000"), "DIR", "Sans",
                                                 "more"};
    }

    void generatorRefusesBadArguments()
    {
        if (!*DORURIZAR_FONTGEN_PATH)
            QSKIP("fontgen is not built");
        QFETCH(QStringList, args);
        QTemporaryDir out;
        args.replaceInStrings(QStringLiteral("DIR"), out.path());
        QProcess gen;
        gen.start(QStringLiteral(DORURIZAR_FONTGEN_PATH), args);
        QVERIFY(gen.waitForFinished(30000));
        QVERIFY(gen.exitStatus() == QProcess::NormalExit && gen.exitCode() != 0);
        QVERIFY(gen.readAllStandardError().contains("fontgen: "));
        QVERIFY(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void generatorReportsProgressUpTo100()
    {
        if (!*DORURIZAR_FONTGEN_PATH)
            QSKIP("fontgen is not built");
        QTemporaryDir out;
        QProcess gen;
        gen.start(QStringLiteral(DORURIZAR_FONTGEN_PATH),
                  {QStringLiteral("Tahoma_12_-1_2_ffff0000_ff000000"), out.path(), QStringLiteral("Sans")});
        QVERIFY(gen.waitForFinished(30000));
        QCOMPARE(gen.exitCode(), 0);
        const QByteArray bytes = gen.readAllStandardOutput();
        QVERIFY(bytes.size() >= 8 && bytes.size() % 4 == 0);
        QDataStream in(bytes);
        qint32 last = -1, value = 0;
        while (!in.atEnd()) {
            in >> value;
            QVERIFY(value >= last && value <= 100);
            last = value;
        }
        QCOMPARE(last, 100);
        QStringList files = QDir(out.path()).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        QCOMPARE(files, (QStringList{QStringLiteral("Tahoma_12_-1_2_ffff0000_ff000000.png"),
                                     QStringLiteral("Tahoma_12_-1_2_ffff0000_ff000000.rects")}));
        QSettings rects(out.path() + QStringLiteral("/Tahoma_12_-1_2_ffff0000_ff000000.rects"), QSettings::IniFormat);
        QCOMPARE(rects.beginReadArray(QStringLiteral("rects")), 256);
    }
};

DTEST_MAIN(tst_FontGen)
#include "tst_fontgen.moc"
