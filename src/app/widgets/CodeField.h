#pragma once

#include <QLineEdit>

namespace parlova::app {

// The sign-in code's field: its digits centred, and its placeholder drawn
// while it is empty even when it has the focus. QLineEdit hides the
// placeholder of a centred field that has the focus, and the code field has
// it from the moment the code step shows.
class CodeField final : public QLineEdit {
    Q_OBJECT

public:
    using QLineEdit::QLineEdit;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace parlova::app
