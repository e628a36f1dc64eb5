#include "core/domain/DictationTimeline.h"

#include <QStringList>

namespace parlova::core {

namespace {

int indexOf(DictationTimeline::Stage stage) {
    return static_cast<int>(stage);
}

} // namespace

void DictationTimeline::mark(Stage stage) {
    std::optional<Clock::time_point>& slot = m_marks.at(indexOf(stage));
    if (!slot)
        slot = Clock::now();
}

std::optional<double> DictationTimeline::sinceRelease(Stage stage) const {
    const std::optional<Clock::time_point>& start = m_marks.at(indexOf(Stage::released));
    const std::optional<Clock::time_point>& end = m_marks.at(indexOf(stage));
    if (!start || !end)
        return std::nullopt;
    return std::chrono::duration<double, std::milli>(*end - *start).count();
}

QString DictationTimeline::name(Stage stage) {
    switch (stage) {
    case Stage::released:
        return QStringLiteral("relâchement");
    case Stage::takeClosed:
        return QStringLiteral("prise fermée");
    case Stage::handedToNetwork:
        return QStringLiteral("requête confiée au réseau");
    case Stage::firstByte:
        return QStringLiteral("premier octet de la réponse");
    case Stage::answerDecoded:
        return QStringLiteral("réponse décodée");
    case Stage::clipboardSet:
        return QStringLiteral("presse-papiers rempli");
    case Stage::pasteSent:
        return QStringLiteral("touches de collage envoyées");
    case Stage::clipboardRestored:
        return QStringLiteral("presse-papiers rendu");
    }
    return {};
}

QString DictationTimeline::summary() const {
    QStringList parts;
    for (int index = 1; index < stageCount; ++index) {
        const auto stage = static_cast<Stage>(index);
        if (const std::optional<double> at = sinceRelease(stage))
            parts.append(QStringLiteral("%1 +%2 ms").arg(name(stage)).arg(*at, 0, 'f', 1));
    }
    return QStringLiteral("dictée : ") + parts.join(QStringLiteral(", "));
}

} // namespace parlova::core
