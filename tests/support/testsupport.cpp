#include "testsupport.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace dtest {

static const char kChildVariable[] = "DORURIZAR_TEST_CHILD";

ChildResult runThisInChild(int timeoutMs, QStringList const& env, QString const& workDir)
{
    QString selection = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        selection += QLatin1Char(':') + QString::fromLatin1(QTest::currentDataTag());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildVariable, QStringLiteral("1"));
    for (QString const& entry : env)
        if (entry.indexOf('=') > 0)
            environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setWorkingDirectory(workDir);  // empty: this process's own
    child.start(QCoreApplication::applicationFilePath(), {selection});
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

bool isChild()
{
    return qgetenv(kChildVariable) == "1";
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
