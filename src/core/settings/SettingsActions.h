#pragma once

#include "core/domain/DictationLanguage.h"
#include "core/domain/HoldKey.h"

namespace parlova::core {

// How the screens change the dictation settings; the dictation controller
// carries each change to the key monitor and the preferences.
class SettingsActions {
public:
    virtual ~SettingsActions() = default;

    virtual void setHoldKey(HoldKey key) = 0;
    virtual void setLanguage(DictationLanguage language) = 0;
    // Asks the desktop to show its own dialog for the hold key's shortcut.
    virtual void configureShortcut() {}

protected:
    SettingsActions() = default;
    SettingsActions(const SettingsActions&) = default;
    SettingsActions& operator=(const SettingsActions&) = default;
};

} // namespace parlova::core
