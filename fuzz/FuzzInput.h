#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace parlova::fuzz {

// The fuzzer's bytes as Qt sees them, copied so that a read past the end is
// caught on the copy's guard rather than hidden by Qt's raw-data wrapper.
inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The bytes cut at each NUL: the first piece and those after it.
inline QList<QByteArray> pieces(const uint8_t* data, size_t size) {
    return bytes(data, size).split('\0');
}

// Either UTF-8 or, when the first byte is odd, raw UTF-16 (so that unpaired
// surrogates and any code unit reach the code under test).
inline QString text(const QByteArray& input) {
    if (input.isEmpty() || (input.front() & 1) == 0)
        return QString::fromUtf8(input);
    const QByteArray rest = input.mid(1);
    QString result(rest.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < result.size(); ++i)
        result[i] = QChar(char16_t(uchar(rest[2 * i]) | uchar(rest[2 * i + 1]) << 8));
    return result;
}

} // namespace parlova::fuzz

// Stops the run with the fuzzer's report when a property of the code does not hold.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            __builtin_trap();                                                                      \
    } while (false)
