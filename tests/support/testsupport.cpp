#include "testsupport.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace dtest {

namespace {
const char kChildVariable[] = "DORURIZAR_TEST_CHILD";
} // namespace

ChildResult runThisInChild(int timeoutMs, QStringList const& env, QString const& workDir)
{
    QString selection = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        selection += QLatin1Char(':') + QString::fromLatin1(QTest::currentDataTag());

    ChildResult result;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kChildVariable, QStringLiteral("1"));
    for (QString const& entry : env) {
        const int eq = entry.indexOf('=');
        if (eq > 0)
            environment.insert(entry.left(eq), entry.mid(eq + 1));
    }
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    if (!workDir.isEmpty())
        child.setWorkingDirectory(workDir);
    child.start(QCoreApplication::applicationFilePath(), {selection});
    result.started = child.waitForStarted(10000);
    if (!result.started)
        return result;
    if (!child.waitForFinished(timeoutMs)) {
        result.timedOut = true;
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
    QByteArray why;
    if (!r.started)
        why = "did not start";
    else if (r.timedOut)
        why = "timed out";
    else if (r.crashed)
        why = "crashed";
    else if (r.exitCode != 0)
        why = "exited with " + QByteArray::number(r.exitCode);
    else
        return QByteArray();
    return "child " + why + ":\n" + r.output;
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
        for (int x = 0; x < img.width(); ++x)
            n += row[x] == value;
    }
    return n;
}

} // namespace dtest
