#include "core/domain/ReferralOutcome.h"

#include "core/texts/Catalog.h"

namespace parlova::core {

std::optional<ReferralOutcome> ReferralOutcome::fromRawValue(QStringView raw) {
    if (const auto outcome = protocol::ReferralOutcomeCodec::decode(raw))
        return fromWire(*outcome);
    return std::nullopt;
}

ReferralOutcome ReferralOutcome::fromWire(protocol::ReferralOutcome outcome) {
    switch (outcome) {
    case protocol::ReferralOutcome::applied:
        return applied;
    case protocol::ReferralOutcome::existingAccount:
        return existingAccount;
    case protocol::ReferralOutcome::refused:
        return refused;
    }
    return refused;
}

QString ReferralOutcome::rawValue() const {
    return protocol::ReferralOutcomeCodec::encode(wire());
}

protocol::ReferralOutcome ReferralOutcome::wire() const {
    switch (m_value) {
    case applied:
        return protocol::ReferralOutcome::applied;
    case existingAccount:
        return protocol::ReferralOutcome::existingAccount;
    case refused:
        return protocol::ReferralOutcome::refused;
    }
    return protocol::ReferralOutcome::refused;
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
