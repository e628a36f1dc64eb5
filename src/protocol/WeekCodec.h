#pragma once

#include "protocol/AccountPayload.h"
#include "protocol/RelayJSON.h"

#include <QJsonObject>

namespace parlova::protocol {

// The week ("semaine") of the account and of a dictation answer.
class WeekCodec {
public:
    WeekCodec() = delete;

    // An unlimited offer's cap and remaining words are JSON null.
    static QJsonObject encode(const AccountPayload::Week& week);
    static AccountPayload::Week read(RelayJSON::Reader& reader);
};

} // namespace parlova::protocol
