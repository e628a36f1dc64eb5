#pragma once

#include "app/controllers/Pill.h"
#include "app/pill/PillModel.h"

#include <chrono>
#include <memory>

class QTimer;

namespace parlova::app {

class PillView;

// The pill as the dictation controller drives it: one panel, made on first
// use and kept, placed at the bottom centre of the screen under the mouse
// and shown without taking the focus. A message hides itself after 4 s
// unless a later state replaces it.
class PillController final : public Pill {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds messageDuration{4000};
    // Space between the panel and the bottom of the screen's free area.
    static constexpr int bottomMargin = 40;

    // `hideTimer`, when given, counts the message down instead of a timer of
    // our own (tests fire it themselves); it is made single-shot.
    explicit PillController(QObject* parent = nullptr, QTimer* hideTimer = nullptr);
    ~PillController() override;

    void present(const PillState& state) override;
    void showMessage(const QString& text) override;
    void hide() override;
    void setLevel(float level) override;

    const PillModel& model() const { return m_model; }
    // Null until the pill is first shown.
    PillView* view() const { return m_view.get(); }
    bool isShown() const;

private:
    PillModel m_model;
    std::unique_ptr<PillView> m_view;
    QTimer* m_hideTimer;
};

} // namespace parlova::app
