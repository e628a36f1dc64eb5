#include "core/domain/ReferralCode.h"

#include <QChar>
#include <QList>

namespace parlova::core {

namespace {

// QChar::isSpace covers exactly the White_Space property: the Separator
// categories plus the tab, line-feed, vertical-tab, form-feed, return and
// next-line controls.
bool isRemovable(char32_t scalar) {
    return QChar::isSpace(scalar) || QChar::category(scalar) == QChar::Punctuation_Dash;
}

} // namespace

std::optional<QString> ReferralCode::normalized(const QString& text) {
    const QString upper = text.normalized(QString::NormalizationForm_KC).toUpper();

    // By scalar, so that dashes outside the basic plane go as well.
    QList<uint> kept = upper.toUcs4();
    kept.removeIf([](uint scalar) { return isRemovable(scalar); });
    if (kept.size() != length)
        return std::nullopt;

    QString code;
    code.reserve(length);
    for (const uint scalar : kept) {
        if (scalar > 0x7f || !alphabet.contains(QLatin1Char(static_cast<char>(scalar))))
            return std::nullopt;
        code.append(QLatin1Char(static_cast<char>(scalar)));
    }
    return code;
}

} // namespace parlova::core
