#include "protocol/ReferralOutcomeCodec.h"

using namespace Qt::StringLiterals;

namespace parlova::protocol {

QLatin1StringView ReferralOutcomeCodec::encode(ReferralOutcome outcome) {
    switch (outcome) {
    case ReferralOutcome::applied:
        return "applique"_L1;
    case ReferralOutcome::existingAccount:
        return "compte-existant"_L1;
    case ReferralOutcome::refused:
        return "refuse"_L1;
    }
    return "refuse"_L1;
}

std::optional<ReferralOutcome> ReferralOutcomeCodec::decode(QStringView word) {
    for (const ReferralOutcome outcome :
         {ReferralOutcome::applied, ReferralOutcome::existingAccount, ReferralOutcome::refused})
        if (word == encode(outcome))
            return outcome;
    return std::nullopt;
}

} // namespace parlova::protocol
