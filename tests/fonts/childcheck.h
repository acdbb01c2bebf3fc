#ifndef DORURIZAR_TESTS_CHILDCHECK_H
#define DORURIZAR_TESTS_CHILDCHECK_H

// Checks inside child cases, which run outside Qt Test: a failed check
// prints where and what, and the case returns non-zero.

#include <testsupport.h>

#include <QStringList>
#include <QTest>

#include <cstdio>

#define CHILD_CHECK(cond)                                                               \
    do {                                                                                \
        if (!(cond)) {                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                   \
        }                                                                               \
    } while (0)

namespace childcheck {
template <typename T>
QByteArray text(T const& v)
{
    char* s = QTest::toString(v);
    const QByteArray out(s ? s : "(value)");
    delete[] s;
    return out;
}
inline QByteArray text(QStringList const& v)
{
    return "(" + v.join(QStringLiteral(", ")).toLocal8Bit() + ")";
}
} // namespace childcheck

#define CHILD_COMPARE(actual, expected)                                                              \
    do {                                                                                             \
        const auto a_ = (actual);                                                                    \
        const auto e_ = (expected);                                                                  \
        if (!(a_ == e_)) {                                                                           \
            std::fprintf(stderr, "%s:%d: %s is %s, expected %s\n", __FILE__, __LINE__, #actual,        \
                         childcheck::text(a_).constData(), childcheck::text(e_).constData());                                  \
            return 1;                                                                                \
        }                                                                                            \
    } while (0)

// Runs a child case and fails the current test unless it ended normally with 0.
#define EXPECT_CHILD_PASSES(...)                                                              \
    do {                                                                                      \
        const dtest::ChildResult r_ = dtest::runChild(__VA_ARGS__);                           \
        QVERIFY2(r_.started && !r_.timedOut && !r_.crashed && r_.exitCode == 0,               \
                 qPrintable(QStringLiteral("exit %1%2%3\n%4")                                 \
                                .arg(r_.exitCode)                                             \
                                .arg(r_.timedOut ? QStringLiteral(" (timed out)") : QString()) \
                                .arg(r_.crashed ? QStringLiteral(" (crashed)") : QString())   \
                                .arg(QString::fromLocal8Bit(r_.output))));                    \
    } while (0)

#endif
