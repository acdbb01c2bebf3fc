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

// A case that may crash, hang or end the process runs in a child: the test
// executable starts itself again with the case's name, and the child runs only
// that function and exits with its return value.
using ChildCase = int (*)();

struct ChildCaseRegistration {
    ChildCaseRegistration(char const* name, ChildCase fn);
};

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    bool crashed = false;  // ended by a signal
    int exitCode = -1;
    QByteArray output;     // stdout and stderr, merged
};

// Runs the registered case in a child process with a time limit. env entries
// ("NAME=value") are added to the child's environment; workDir, when set, is
// its working directory.
ChildResult runChild(char const* name, int timeoutMs = 60000, QStringList const& env = {},
                     QString const& workDir = {});

// Called first in main(): in a child, runs the requested case and returns its
// exit code; otherwise returns -1.
int runRequestedChild();

// Whether this process is a child started by runThisInChild().
bool isChild();

// Runs the current test function, and only its current data row, again in a
// child process of this executable with a time limit. env entries
// ("NAME=value") are added to the child's environment; workDir, when set,
// is its working directory.
ChildResult runThisInChild(int timeoutMs = 30000, QStringList const& env = {}, QString const& workDir = {});

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
#define DTEST_IN_CHILD(...)                                                              \
    do {                                                                                 \
        if (!dtest::isChild()) {                                                         \
            const QByteArray failure_ = dtest::failureOf(dtest::runThisInChild(__VA_ARGS__)); \
            QVERIFY2(failure_.isEmpty(), failure_.constData());                          \
            return;                                                                      \
        }                                                                                \
    } while (0)

#define DTEST_CHILD(name)                                                         \
    static int name();                                                            \
    static const dtest::ChildCaseRegistration name##_registration(#name, &name); \
    static int name()

// main() for a Qt Test class that may also run child cases.
#define DTEST_MAIN(TestClass)                                \
    int main(int argc, char** argv)                          \
    {                                                        \
        QApplication app(argc, argv);                        \
        const int child = dtest::runRequestedChild();        \
        if (child >= 0)                                      \
            return child;                                    \
        TestClass tc;                                        \
        QTEST_SET_MAIN_SOURCE_PATH                           \
        return QTest::qExec(&tc, argc, argv);                \
    }

#endif
