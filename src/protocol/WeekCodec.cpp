#include "protocol/WeekCodec.h"

#include "protocol/Member.h"

namespace parlova::protocol {

namespace {

QJsonValue orNull(const std::optional<qint64>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

} // namespace

QJsonObject WeekCodec::encode(const AccountPayload::Week& week) {
    return {{Member::words, week.words},
            {Member::limit, orNull(week.limit)},
            {Member::remaining, orNull(week.remaining)},
            {Member::resetsAt, RelayJSON::dateText(week.resetsAt)}};
}

AccountPayload::Week WeekCodec::read(RelayJSON::Reader& reader) {
    AccountPayload::Week week;
    week.words = reader.integer(Member::words);
    week.limit = reader.optionalInteger(Member::limit);
    week.remaining = reader.optionalInteger(Member::remaining);
    week.resetsAt = reader.date(Member::resetsAt);
    return week;
}

} // namespace parlova::protocol
