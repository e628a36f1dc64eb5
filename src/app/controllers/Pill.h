#pragma once

#include <QObject>
#include <QString>

#include <utility>

namespace parlova::app {

// What the pill shows.
class PillState {
public:
    enum class Kind { message, listening, transcribing };

    static PillState listening() { return PillState(Kind::listening, {}); }
    static PillState transcribing() { return PillState(Kind::transcribing, {}); }
    static PillState message(const QString& text) { return PillState(Kind::message, text); }

    Kind kind() const { return m_kind; }
    // The failure text of a message; empty for the other states.
    const QString& text() const { return m_text; }

    friend bool operator==(const PillState&, const PillState&) = default;

private:
    PillState(Kind kind, QString text)
        : m_kind(kind)
        , m_text(std::move(text)) {}

    Kind m_kind;
    QString m_text;
};

// The floating indicator as the dictation controller drives it: listening with
// a level meter, transcribing, or a short failure message that hides by
// itself after 4 s unless a later state replaces it. Main thread only.
class Pill : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~Pill() override = default;

    // Shows the pill in that state; cancels a pending automatic hide.
    virtual void present(const PillState& state) = 0;
    // Shows message(text) and hides the pill 4 s later.
    virtual void showMessage(const QString& text) = 0;
    // Hides at once and cancels a pending automatic hide.
    virtual void hide() = 0;
    // The meter value, 0...1.
    virtual void setLevel(float level) = 0;
};

} // namespace parlova::app
