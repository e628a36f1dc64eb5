#pragma once

#include "core/settings/SettingsActions.h"

namespace parlova::app {

// The settings of snapshot mode: changes go nowhere.
class SnapshotSettings final : public core::SettingsActions {
public:
    void setHoldKey(core::HoldKey) override {}
    void setLanguage(core::DictationLanguage) override {}
};

} // namespace parlova::app
