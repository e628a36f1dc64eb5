#pragma once

#include "app/controllers/Pill.h"

#include <QList>

#include <optional>

namespace parlova::app {

// A pill for tests: keeps every state it was asked to show, in order, and
// whether it is visible now. Messages never hide by themselves.
class RecordingPill final : public Pill {
    Q_OBJECT

public:
    using Pill::Pill;

    void present(const PillState& state) override {
        m_states.append(state);
        m_visible = true;
    }
    void showMessage(const QString& text) override { present(PillState::message(text)); }
    void hide() override { m_visible = false; }
    void setLevel(float level) override { m_level = level; }

    const QList<PillState>& states() const { return m_states; }
    // The last state shown, if the pill is visible.
    std::optional<PillState> shown() const {
        if (!m_visible || m_states.isEmpty())
            return std::nullopt;
        return m_states.constLast();
    }
    float level() const { return m_level; }

private:
    QList<PillState> m_states;
    bool m_visible = false;
    float m_level = 0.0f;
};

} // namespace parlova::app
