#include "core/domain/SignInCode.h"

#include <QTextBoundaryFinder>

namespace parlova::core {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

QString SignInCode::digits(const QString& text) {
    const QString normalized = text.normalized(QString::NormalizationForm_KC);
    QString code;
    // Whole user-perceived characters: a digit carrying a combining mark (a
    // keycap, an accent) is not a plain digit and is dropped with its mark.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, normalized);
    qsizetype start = 0;
    while (code.size() < length) {
        const qsizetype end = graphemes.toNextBoundary();
        if (end < 0)
            break;
        if (end - start == 1 && isAsciiDigit(normalized.at(start)))
            code.append(normalized.at(start));
        start = end;
    }
    return code;
}

bool SignInCode::isComplete(const QString& code) {
    if (code.size() != length)
        return false;
    for (const QChar c : code) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

} // namespace parlova::core
