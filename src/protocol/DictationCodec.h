#pragma once

#include "protocol/AccountPayload.h"
#include "protocol/RelayJSON.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace parlova::protocol {

// What the relay made of one take.
struct DictationAnswer {
    QString text;              // the transcript ("texte")
    qint64 words = 0;          // the relay's own word count ("mots")
    AccountPayload::Week week; // the account's week after this dictation ("semaine")

    friend bool operator==(const DictationAnswer&, const DictationAnswer&) = default;
};

// The dictation answer, all three members required.
class DictationCodec {
public:
    DictationCodec() = delete;

    static QJsonObject encode(const DictationAnswer& answer);
    static Decoded<DictationAnswer> decode(const QByteArray& bytes);
};

} // namespace parlova::protocol
