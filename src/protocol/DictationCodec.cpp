#include "protocol/DictationCodec.h"

#include "protocol/Member.h"
#include "protocol/WeekCodec.h"

namespace parlova::protocol {

QJsonObject DictationCodec::encode(const DictationAnswer& answer) {
    return {{Member::text, answer.text},
            {Member::words, answer.words},
            {Member::week, WeekCodec::encode(answer.week)}};
}

Decoded<DictationAnswer> DictationCodec::decode(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    RelayJSON::Reader reader(*root);
    DictationAnswer answer;
    answer.text = reader.string(Member::text);
    answer.words = reader.integer(Member::words);
    RelayJSON::Reader week = reader.object(Member::week);
    answer.week = WeekCodec::read(week);
    return reader.finish(std::move(answer));
}

} // namespace parlova::protocol
