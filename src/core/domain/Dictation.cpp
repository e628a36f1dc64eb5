#include "core/domain/Dictation.h"

#include "protocol/DictationCodec.h"

namespace parlova::core {

Decoded<Dictation> Dictation::fromJson(const QByteArray& bytes) {
    const Decoded<protocol::DictationAnswer> answer = protocol::DictationCodec::decode(bytes);
    if (!answer)
        return answer.error();
    return Dictation{answer->text, answer->words, answer->week};
}

} // namespace parlova::core
