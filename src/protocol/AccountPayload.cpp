#include "protocol/AccountPayload.h"

#include "protocol/Member.h"

namespace parlova::protocol {

// The periods' words are those of the prices' members.
QString AccountPayload::Subscription::rawValue(Period period) {
    return period == Period::yearly ? QString(Member::yearly) : QString(Member::monthly);
}

std::optional<AccountPayload::Subscription::Period>
AccountPayload::Subscription::periodFromRawValue(QStringView raw) {
    if (raw == Member::monthly)
        return Period::monthly;
    if (raw == Member::yearly)
        return Period::yearly;
    return std::nullopt;
}

} // namespace parlova::protocol
