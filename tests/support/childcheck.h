#ifndef DORURIZAR_CHILDCHECK_H
#define DORURIZAR_CHILDCHECK_H

// Checks inside child cases (DTEST_CHILD), which run outside Qt Test: a failed
// check prints where and what on stderr and the case returns 1. The test slot
// runs the case with EXPECT_CHILD_PASSES, which fails with the child's output.

#include <testsupport.h>

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QStringList>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace dtest {

// The text a failed check shows for a value. Unsigned values are mostly
// pixels and masks, so they show in hex as well.
template <typename T>
QByteArray valueText(T const& v)
{
    if constexpr (std::is_same_v<T, bool>) {
        return v ? "true" : "false";
    } else if constexpr (std::is_enum_v<T>) {
        return valueText(static_cast<std::underlying_type_t<T>>(v));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        return QByteArray::number(qlonglong(v));
    } else if constexpr (std::is_integral_v<T>) {
        return "0x" + QByteArray::number(qulonglong(v), 16) + " (" + QByteArray::number(qulonglong(v)) + ")";
    } else if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) {
        return "0x" + QByteArray::number(quintptr(v), 16);
    } else {
        char* s = QTest::toString(v);
        const QByteArray out(s ? s : "(value)");
        delete[] s;
        return out;
    }
}

inline QByteArray valueText(QStringList const& v)
{
    return "(" + v.join(QStringLiteral(", ")).toLocal8Bit() + ")";
}

inline QByteArray valueText(QRect const& r)
{
    return QByteArray("QRect(%1,%2 %3x%4)")
        .replace("%1", QByteArray::number(r.x()))
        .replace("%2", QByteArray::number(r.y()))
        .replace("%3", QByteArray::number(r.width()))
        .replace("%4", QByteArray::number(r.height()));
}

inline QByteArray valueText(QSize const& s)
{
    return "QSize(" + QByteArray::number(s.width()) + "x" + QByteArray::number(s.height()) + ")";
}

inline QByteArray valueText(QPoint const& p)
{
    return "QPoint(" + QByteArray::number(p.x()) + "," + QByteArray::number(p.y()) + ")";
}

// Whether each channel of two ARGB values differs by at most tolerance.
inline bool pixelNear(QRgb actual, QRgb expected, int tolerance)
{
    return std::abs(qRed(actual) - qRed(expected)) <= tolerance
        && std::abs(qGreen(actual) - qGreen(expected)) <= tolerance
        && std::abs(qBlue(actual) - qBlue(expected)) <= tolerance
        && std::abs(qAlpha(actual) - qAlpha(expected)) <= tolerance;
}

// Runs a child case; returns why it did not pass, with all it printed, or
// nothing when it ended normally with 0.
inline QByteArray childFailure(char const* name, int timeoutMs = 60000, QStringList const& env = {},
                               QString const& workDir = {})
{
    const ChildResult r = runChild(name, timeoutMs, env, workDir);
    QByteArray why;
    if (!r.started)
        why = "did not start";
    else if (r.timedOut)
        why = "timed out after " + QByteArray::number(timeoutMs) + " ms";
    else if (r.crashed)
        why = "crashed";
    else if (r.exitCode != 0)
        why = "exited with " + QByteArray::number(r.exitCode);
    else
        return QByteArray();
    return "child " + QByteArray(name) + " " + why + ":\n" + r.output;
}

} // namespace dtest

#define CHECK(cond)                                                                       \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: CHECK(%s) failed\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                     \
        }                                                                                 \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                 \
    do {                                                                                           \
        const auto a_ = (actual);                                                                  \
        const auto e_ = (expected);                                                                \
        if (!(a_ == e_)) {                                                                         \
            std::fprintf(stderr, "%s:%d: %s is %s, expected %s = %s\n", __FILE__, __LINE__, #actual, \
                         dtest::valueText(a_).constData(), #expected, dtest::valueText(e_).constData()); \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

// Pixel (x, y) of a QImage within tolerance of expected on every channel,
// alpha included; a tolerance of 0 asks for the exact value.
#define CHECK_PIXEL(image, x, y, expected, tolerance)                                                  \
    do {                                                                                               \
        const QRgb p_ = (image).pixel((x), (y));                                                       \
        const QRgb e_ = (expected);                                                                    \
        if (!dtest::pixelNear(p_, e_, (tolerance))) {                                                  \
            std::fprintf(stderr, "%s:%d: pixel (%d, %d) is %08x, expected %08x within %d\n", __FILE__, \
                         __LINE__, int(x), int(y), unsigned(p_), unsigned(e_), int(tolerance));        \
            return 1;                                                                                  \
        }                                                                                              \
    } while (0)

// EXPECT_CHILD_PASSES(name[, timeoutMs[, env[, workDir]]]): fails the current
// test function, with the child's output, unless the case passes.
#define EXPECT_CHILD_PASSES(...)                                         \
    do {                                                                 \
        const QByteArray failure_ = dtest::childFailure(__VA_ARGS__);    \
        QVERIFY2(failure_.isEmpty(), failure_.constData());              \
    } while (0)

#endif
