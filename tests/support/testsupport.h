#ifndef DORURIZAR_TESTSUPPORT_H
#define DORURIZAR_TESTSUPPORT_H

// Shared helpers of the test executables: isolated child cases and pixel access.

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

class QWidget;

namespace dtest {

struct ChildResult {
    bool started = false, timedOut = false, crashed = false;  // crashed: ended by a signal
    int exitCode = -1;
    QByteArray output;     // stdout and stderr, merged
};

// Whether this process is a child started by runThisInChild() or the shared
// child of rowFailureInSharedChild().
bool isChild();

// Whether this process is the shared child, where the cases that need a
// process of their own skip.
bool isSharedChild();

// Runs the current test function, and only its current data row, again in a
// child process of this executable with a time limit. env entries
// ("NAME=value") are added to the child's environment; workDir, when set,
// is its working directory.
ChildResult runThisInChild(int timeoutMs = 30000, QStringList const& env = {}, QString const& workDir = {});

// Runs every case of this executable in one child process, once, when the
// first case asks (a case's fixture is cheap, a process with its own display
// connection and GL driver is not); returns why the current row failed there,
// empty when it passed.
QByteArray rowFailureInSharedChild();

// Why a child did not pass, with all it printed; empty when it exited with 0.
QByteArray failureOf(ChildResult const& r);

// The pixels of a shown widget as the X server has them.
QImage grabWidget(QWidget* w);

// Shows w, waits until it is exposed and the event queue is drained.
bool showAndWait(QWidget* w);

// Counts the pixels of img that equal value (32-bit ARGB).
int countPixels(QImage const& img, unsigned value);

} // namespace dtest

// Opens a test function whose body runs in a child process (it may crash,
// hang or end the process, or it needs a process of its own): the parent
// runs the child, fails with its output unless it passed, and returns; the
// child goes on with the body. Arguments as for runThisInChild().
#define DTEST_IN_CHILD(...)                                                                   \
    do {                                                                                      \
        if (dtest::isSharedChild())                                                           \
            QSKIP("runs in a child process of its own");                                      \
        if (!dtest::isChild()) {                                                              \
            const QByteArray failure_ = dtest::failureOf(dtest::runThisInChild(__VA_ARGS__)); \
            QVERIFY2(failure_.isEmpty(), failure_.constData());                               \
            return;                                                                           \
        }                                                                                     \
    } while (0)

// As DTEST_IN_CHILD, for cases that may share one child process with each
// other: they run together in one child, and each row of the parent reports
// its own row's verdict there. Such a case cleans up what it makes.
#define DTEST_IN_SHARED_CHILD()                                                               \
    do {                                                                                      \
        if (!dtest::isChild()) {                                                              \
            const QByteArray failure_ = dtest::rowFailureInSharedChild();                     \
            QVERIFY2(failure_.isEmpty(), failure_.constData());                               \
            return;                                                                           \
        }                                                                                     \
    } while (0)

// main() for a Qt Test class; the same main serves the child processes.
#define DTEST_MAIN(TestClass)                                                                           \
    int main(int argc, char** argv)                                                                     \
    {                                                                                                   \
        QApplication app(argc, argv);                                                                   \
        TestClass tc;                                                                                   \
        QTEST_SET_MAIN_SOURCE_PATH                                                                      \
        return QTest::qExec(&tc, argc, argv);                                                           \
    }

#endif
