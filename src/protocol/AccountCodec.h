#pragma once

#include "protocol/AccountPayload.h"
#include "protocol/RelayJSON.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>

namespace parlova::protocol {

// The account's JSON form, both ways.
//
// Decoding is strict, in the relay's JSON convention: the first missing,
// mistyped or contradictory value fails the whole account, except the links,
// which are read tolerantly.
class AccountCodec {
public:
    AccountCodec() = delete;

    // Dates in the relay's form; links absent from the payload are left out.
    static QJsonObject encode(const AccountPayload& account);

    static Decoded<AccountPayload> decode(const QByteArray& bytes);
    static Decoded<AccountPayload> decode(const QJsonValue& value);
    // Reads the members in the relay's order; the first failure stays in the reader.
    static AccountPayload read(RelayJSON::Reader& reader);
    // Never fails: whatever cannot be read, or is not a secure web page, is
    // simply absent.
    static AccountPayload::Links readLinks(const QJsonValue& value);
};

} // namespace parlova::protocol
