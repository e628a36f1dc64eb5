#include "core/ReferralOutcome.h"

#include "core/Catalog.h"

namespace parlova::core {

std::optional<ReferralOutcome> ReferralOutcome::fromRawValue(QStringView raw) {
    if (raw == u"applique")
        return applied;
    if (raw == u"compte-existant")
        return existingAccount;
    if (raw == u"refuse")
        return refused;
    return std::nullopt;
}

QString ReferralOutcome::rawValue() const {
    switch (m_value) {
    case applied:
        return QStringLiteral("applique");
    case existingAccount:
        return QStringLiteral("compte-existant");
    case refused:
        return QStringLiteral("refuse");
    }
    return {};
}

QString ReferralOutcome::notice() const {
    switch (m_value) {
    case applied:
        return Catalog::text("referral.applied");
    case existingAccount:
        return Catalog::text("referral.existingAccount");
    case refused:
        return Catalog::text("referral.refused");
    }
    return {};
}

} // namespace parlova::core
