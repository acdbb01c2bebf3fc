#include "fontgeneration_p.h"

#include "unifontmap.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>

#include <signal.h>

char const* cUniFontMap::mDefaultFontSet[12] = {
    "System_10_75_1_ffff0000_ff000000",
    "System_10_75_1_ffffff00_ff000000",
    "System_10_75_1_ffffffff_ff000000",
    "Tahoma_10_-1_2_ff303040_ff000000",
    "Tahoma_10_-1_2_ff304030_ff000000",
    "Tahoma_10_-1_2_ffff0000_ff000000",
    "Tahoma_12_-1_2_ff303040_ff000000",
    "Tahoma_12_-1_2_ff304030_ff000000",
    "Tahoma_12_-1_2_ffff0000_ff000000",
    "Tahoma_23_-1_2_ff303040_ff000000",
    "Tahoma_23_-1_2_ff304030_ff000000",
    "Tahoma_23_-1_2_ffff0000_ff000000",
};

namespace {

// Generators normally finish within a few seconds; one that is still running
// after this is stopped and counted as done. DORURIZAR_FONTGEN_TIMEOUT (seconds)
// changes it, for slow machines and for tests of the limit itself.
const qint64 kDefaultGenerationLimitMs = 60000;
const int kPollMs = 100;

qint64 generationLimitMs()
{
    bool ok = false;
    const double seconds = qEnvironmentVariable("DORURIZAR_FONTGEN_TIMEOUT").toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 86400)
        return kDefaultGenerationLimitMs;
    return qMax<qint64>(1, qint64(seconds * 1000));
}

QPoint dialogCentre()
{
    QWidget* anchor = QApplication::activeWindow();
    while (anchor && anchor->parentWidget())
        anchor = anchor->parentWidget();
    if (!anchor) {
        const QWidgetList tops = QApplication::topLevelWidgets();
        if (!tops.isEmpty())
            anchor = tops.first();
    }
    if (anchor) {
        const QRect r = anchor->rect();
        return QPoint((r.width() - 1) / 2, (r.height() - 1) / 2);
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().center() : QPoint();
}

QProgressDialog* makeDialog()
{
    const QPoint centre = dialogCentre();
    QProgressDialog* dialog =
        new QProgressDialog(QObject::tr("Fonts creation on the first run. Please be patient."), QString(), 0, 100);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    dialog->setMinimumDuration(0);
    QRect geometry = dialog->geometry();
    geometry.moveCenter(centre);
    dialog->setGeometry(geometry);
    dialog->setValue(0);
    return dialog;
}

bool finished(cUniFontMap::fontgen* g)
{
    return g->mProgress >= 100 || g->mProcess.state() == QProcess::NotRunning;
}

// Ends pid and every process descended from it: a generator may be a script
// whose children would otherwise outlive the host. Each process found is
// stopped first, so that none forks a new one while the tree is read.
void killTree(pid_t root)
{
    if (root <= 0)
        return;
    QVector<pid_t> tree{root};
    ::kill(root, SIGSTOP);
    for (bool grew = true; grew;) {
        grew = false;
        for (QString const& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool isPid = false;
            const pid_t pid = entry.toInt(&isPid);
            if (!isPid || tree.contains(pid))
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (name) state ppid ...": the name may hold spaces and parentheses.
            const QByteArray line = stat.read(1024);
            const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (rest.size() > 1 && tree.contains(pid_t(rest.at(1).toInt()))) {
                ::kill(pid, SIGSTOP);
                tree.append(pid);
                grew = true;
            }
        }
    }
    for (pid_t pid : tree)
        ::kill(pid, SIGKILL);
}

// A generator writes about a hundred values; one that writes more than this
// is broken, and is stopped rather than read for ever.
const qint64 kMaxOutputBytes = 64 * 1024;

// One generation of the default set. There is only ever one: a lookup made
// while it runs (a host timer firing in the wait loop) waits for it too.
struct Generation {
    QVector<cUniFontMap::fontgen*> gens;
    QVector<qint64> bytesRead;
    QProgressDialog* dialog = nullptr;
    QElapsedTimer clock;
    qint64 limitMs = kDefaultGenerationLimitMs;

    // Reads the generators and updates the dialog; true once every generator
    // is done or the time limit has passed.
    bool poll()
    {
        int sum = 0;
        bool allFinished = true;
        for (int i = 0; i < gens.size(); ++i) {
            cUniFontMap::fontgen* g = gens[i];
            bytesRead[i] += g->mProcess.bytesAvailable();
            if (bytesRead[i] > kMaxOutputBytes && g->mProcess.state() != QProcess::NotRunning) {
                killTree(pid_t(g->mProcess.processId()));
                g->mProcess.waitForFinished(5000);
            }
            sum += g->getProgress();
            allFinished = allFinished && finished(g);
        }
        if (dialog)
            dialog->setValue(sum / gens.size());
        return allFinished || clock.elapsed() >= limitMs;
    }
};

Generation* gGeneration = nullptr;

// Polls the generation until it is over. Between polls it sleeps in an event
// loop that the generators' output and exits wake, so it neither spins nor lags.
void waitFor(Generation& generation)
{
    if (!QCoreApplication::instance()) {
        while (!generation.poll()) {
            for (cUniFontMap::fontgen* g : generation.gens) {
                if (!finished(g)) {
                    // Returns at once for a generator that closed its output: sleep the rest.
                    QElapsedTimer slept;
                    slept.start();
                    if (!g->mProcess.waitForReadyRead(kPollMs) && !g->mProcess.waitForFinished(kPollMs))
                        QThread::msleep(qMax<qint64>(0, kPollMs - slept.elapsed()));
                    break;
                }
            }
        }
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool woken = false;
    auto wake = [&] {
        woken = true;
        loop.quit();
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (cUniFontMap::fontgen* g : generation.gens) {
        QObject::connect(&g->mProcess, &QProcess::readyReadStandardOutput, &loop, wake);
        QObject::connect(&g->mProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, wake);
        QObject::connect(&g->mProcess, &QProcess::errorOccurred, &loop, wake);
    }
    // poll() updates the dialog, which processes events itself and may already have delivered a wake-up.
    while (!generation.poll()) {
        if (!woken) {
            timer.start(kPollMs);
            loop.exec();
            timer.stop();
        }
        woken = false;
    }
}

} // namespace

// ---- cUniFontMap::fontgen ----

cUniFontMap::fontgen::fontgen()
    : mProgress(0)
{
}

cUniFontMap::fontgen::~fontgen()
{
    mStream.setDevice(nullptr);
    if (mProcess.state() != QProcess::NotRunning) {
        killTree(pid_t(mProcess.processId()));
        mProcess.waitForFinished(5000);
    }
}

int cUniFontMap::fontgen::run(QString const& name, QString const& dir, QString const& alternative)
{
    QStringList args;
    args << name << dir;
    if (!alternative.isEmpty())
        args << alternative;
    mStream.setDevice(&mProcess);
    // The library logs nothing, and an unread stderr pipe could fill and stall the generator.
    mProcess.setStandardErrorFile(QProcess::nullDevice());
    mProcess.start(QStringLiteral(".") + QDir::separator() + QStringLiteral("fontgen"), args, QIODevice::ReadWrite);
    return 0;
}

int cUniFontMap::fontgen::getProgress()
{
    if (mStream.device())
        mProgress = UniFontMapNS::readProgress(mStream, mProgress);
    return mProgress;
}

void UniFontMapNS::generateDefaultFonts()
{
    if (gGeneration) {
        waitFor(*gGeneration);
        return;
    }
    QString const& dir = cUniFontMap::node::makeCacheBasePath();
    QDir().mkpath(dir);

    Generation generation;
    for (char const* entry : cUniFontMap::mDefaultFontSet) {
        cUniFontMap::fontgen* g = new cUniFontMap::fontgen;
        generation.gens.append(g);
        const QString name = QString::fromLatin1(entry);
        const QString alternative = name.split(QLatin1Char('_')).first() == QLatin1String("System")
            ? QStringLiteral("Monotype")
            : QStringLiteral("Sans");
        g->run(name, dir, alternative);
    }
    generation.bytesRead.fill(0, generation.gens.size());
    generation.limitMs = generationLimitMs();
    generation.clock.start();

    std::unique_ptr<QProgressDialog> dialog;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        dialog.reset(generation.dialog = makeDialog());
    gGeneration = &generation;
    waitFor(generation);
    gGeneration = nullptr;
    while (!generation.gens.isEmpty())
        delete generation.gens.takeLast();
    if (dialog)
        dialog->setValue(100);
}
