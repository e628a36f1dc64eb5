#include "core/Dictation.h"

using namespace Qt::StringLiterals;

namespace parlova::core {

Decoded<Dictation> Dictation::fromJson(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    RelayJSON::Reader reader(*root);
    Dictation dictation;
    dictation.text = reader.string("texte"_L1);
    dictation.words = reader.integer("mots"_L1);
    RelayJSON::Reader week = reader.object("semaine"_L1);
    dictation.week = Account::Week::read(week);
    return reader.finish(std::move(dictation));
}

} // namespace parlova::core
