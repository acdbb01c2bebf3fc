#include "testsupport.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace dtest {

// "own" in a child that runs one case, "shared" in the one that runs every
// case able to share a process.
static const char kChildVariable[] = "DORURIZAR_TEST_CHILD";

static ChildResult runChild(QStringList const& selection, char const* kind, int timeoutMs, QStringList const& env,
                            QString const& workDir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildVariable, QString::fromLatin1(kind));
    for (QString const& entry : env)
        if (entry.indexOf('=') > 0)
            environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setWorkingDirectory(workDir);  // empty: this process's own
    child.start(QCoreApplication::applicationFilePath(), selection);
    ChildResult result;
    if (!(result.started = child.waitForStarted(10000)))
        return result;
    if ((result.timedOut = !child.waitForFinished(timeoutMs))) {
        child.kill();
        child.waitForFinished(5000);
    }
    result.output = child.readAll();
    result.crashed = !result.timedOut && child.exitStatus() == QProcess::CrashExit;
    result.exitCode = child.exitCode();
    return result;
}

ChildResult runThisInChild(int timeoutMs, QStringList const& env, QString const& workDir)
{
    QString selection = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        selection += QLatin1Char(':') + QString::fromLatin1(QTest::currentDataTag());
    return runChild({selection}, "own", timeoutMs, env, workDir);
}

QByteArray rowFailureInSharedChild()
{
    // Every case of the executable runs there, once; a sanitizer build is
    // several times slower than a plain one.
    static const ChildResult run = runChild({}, "shared", 240000, {}, {});
    const QByteArray failure = failureOf(run);
    if (failure.isEmpty())
        return failure;
    // The child's log names each row's verdict: "PASS   : tst_X::function(row)".
    // A child that failed with no failing row (a sanitizer's report at exit,
    // a crash in clean-up) fails every row.
    const QByteArray passed =
        QByteArray("::") + QTest::currentTestFunction() + '(' + QTest::currentDataTag() + ')';
    bool rowPassed = false, otherRowFailed = false;
    for (QByteArray const& line : run.output.split('\n')) {
        rowPassed = rowPassed || (line.startsWith("PASS   : ") && line.trimmed().endsWith(passed));
        otherRowFailed = otherRowFailed || line.startsWith("FAIL!  : ");
    }
    return rowPassed && otherRowFailed ? QByteArray() : "this row did not pass in the " + failure;
}

bool isChild()
{
    return !qgetenv(kChildVariable).isEmpty();
}

bool isSharedChild()
{
    return qgetenv(kChildVariable) == "shared";
}

QByteArray failureOf(ChildResult const& r)
{
    const QByteArray why = !r.started ? "did not start"
        : r.timedOut                  ? "timed out"
        : r.crashed                   ? "crashed"
        : r.exitCode != 0             ? "exited with " + QByteArray::number(r.exitCode)
                                      : QByteArray();
    return why.isEmpty() ? why : "child " + why + ":\n" + r.output;
}

QImage grabWidget(QWidget* w)
{
    QApplication::processEvents();
    QScreen* screen = w->windowHandle() ? w->windowHandle()->screen() : QGuiApplication::primaryScreen();
    return screen->grabWindow(w->winId()).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool showAndWait(QWidget* w)
{
    w->show();
    const bool exposed = QTest::qWaitForWindowExposed(w, 5000);
    QApplication::processEvents();
    return exposed;
}

int countPixels(QImage const& img, unsigned value)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        n += int(std::count(row, row + img.width(), value));
    }
    return n;
}

} // namespace dtest
