#include "fontgeneration_p.h"

#include "unifontmap.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QScreen>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>

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

// Polls the generators until each has reported 100, ended or failed to start,
// or the time limit is reached. Between polls it sleeps in an event loop that
// the generators' output and exits wake, so it neither spins nor lags.
void waitForGenerators(QVector<cUniFontMap::fontgen*> const& gens, QProgressDialog* dialog)
{
    const bool haveEventLoop = QCoreApplication::instance() != nullptr;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool woken = false;
    auto wake = [&] {
        woken = true;
        loop.quit();
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (cUniFontMap::fontgen* g : gens) {
        QObject::connect(&g->mProcess, &QProcess::readyReadStandardOutput, &loop, wake);
        QObject::connect(&g->mProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, wake);
        QObject::connect(&g->mProcess, &QProcess::errorOccurred, &loop, wake);
    }

    const qint64 limitMs = generationLimitMs();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int sum = 0;
        bool allFinished = true;
        for (cUniFontMap::fontgen* g : gens) {
            sum += g->getProgress();
            allFinished = allFinished && finished(g);
        }
        if (dialog)
            dialog->setValue(sum / gens.size());
        if (allFinished || clock.elapsed() >= limitMs)
            return;

        if (!haveEventLoop) {
            for (cUniFontMap::fontgen* g : gens) {
                if (!finished(g)) {
                    g->mProcess.waitForReadyRead(kPollMs);
                    break;
                }
            }
            continue;
        }
        // setValue() processes events itself and may already have delivered a wake-up.
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
        mProcess.kill();
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
    // Only whole values: the rest of a value arrives with a later poll.
    while (mStream.device() && mProcess.bytesAvailable() >= 4) {
        qint32 value = 0;
        mStream >> value;
        if (mStream.status() != QDataStream::Ok) {
            mStream.resetStatus();
            break;
        }
        mProgress = qBound(0, int(value), 100);
    }
    return mProgress;
}

void UniFontMapNS::generateDefaultFonts()
{
    QString const& dir = cUniFontMap::node::makeCacheBasePath();
    QDir().mkpath(dir);

    QVector<cUniFontMap::fontgen*> gens;
    for (char const* entry : cUniFontMap::mDefaultFontSet) {
        cUniFontMap::fontgen* g = new cUniFontMap::fontgen;
        gens.append(g);
        const QString name = QString::fromLatin1(entry);
        const QString alternative = name.split(QLatin1Char('_')).first() == QLatin1String("System")
            ? QStringLiteral("Monotype")
            : QStringLiteral("Sans");
        g->run(name, dir, alternative);
    }

    std::unique_ptr<QProgressDialog> dialog;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        dialog.reset(makeDialog());
    waitForGenerators(gens, dialog.get());
    while (!gens.isEmpty())
        delete gens.takeLast();
    if (dialog)
        dialog->setValue(100);
}
