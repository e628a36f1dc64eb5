#include "app/controllers/StatusAppearance.h"

#include "core/texts/Texts.h"

namespace parlova::app {

StatusAppearance StatusAppearance::of(DictationController::Activity activity,
                                      const StatusModel& status) {
    using Activity = DictationController::Activity;
    using core::Texts;
    switch (activity) {
    case Activity::listening:
        return {QStringLiteral("waveform.circle.fill"), Texts::listening()};
    case Activity::transcribing:
        return {QStringLiteral("ellipsis.circle"), Texts::transcribing()};
    case Activity::ready:
        break;
    }
    if (!status.signedIn())
        return {QStringLiteral("person.crop.circle.badge.exclamationmark"), Texts::signInTitle()};
    if (status.microphone() != core::Readiness::Microphone::granted || !status.accessibility())
        return {QStringLiteral("exclamationmark.triangle"), Texts::permissionMissing()};
    return {QStringLiteral("waveform"), Texts::ready(keyName(status.holdKey()))};
}

QString StatusAppearance::keyName(core::HoldKey key) {
    if (key == core::HoldKey::function)
        return QStringLiteral("Fn");
    return core::displayName(key);
}

} // namespace parlova::app
