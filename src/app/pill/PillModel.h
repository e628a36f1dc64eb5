#pragma once

#include "app/controllers/Pill.h"

#include <QObject>

namespace parlova::app {

// What the pill shows: its state and the meter value. Observers hear of a
// change only when a value really changes.
class PillModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(float level READ level WRITE setLevel NOTIFY levelChanged)

public:
    using QObject::QObject;

    const PillState& state() const { return m_state; }
    void setState(const PillState& state);

    float level() const { return m_level; }
    // Kept within 0...1; anything unreadable counts as silence.
    void setLevel(float level);

Q_SIGNALS:
    void stateChanged();
    void levelChanged();

private:
    PillState m_state = PillState::listening();
    float m_level = 0.0F;
};

} // namespace parlova::app
