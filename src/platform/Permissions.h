#pragma once

#include "core/domain/Readiness.h"

#include <QObject>

namespace parlova::platform {

// The two permissions dictation needs besides an account. Reading them is
// cheap enough for a poll every second (no new connection or process per
// read). The requests only open help; the controller's poll sees the change.
class Permissions : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~Permissions() override = default;

    virtual core::Readiness::Microphone microphone() = 0;
    // Keys of every application can be watched and a paste synthesized.
    virtual bool accessibility() = 0;

    virtual void requestMicrophone() = 0;
    virtual void requestAccessibility() = 0;
};

// The permissions of the session the program runs in, owned by `parent`.
Permissions* createPermissions(QObject* parent);

} // namespace parlova::platform
