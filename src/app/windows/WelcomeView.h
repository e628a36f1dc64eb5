#pragma once

#include "app/controllers/StatusModel.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace parlova::platform {
class Permissions;
}

namespace parlova::app {

class PermissionRow;

// The welcome screen proper, once signed in: what Parlova does, then the two
// permissions one after the other, and "Commencer" once both are granted
// ("Plus tard" before).
class WelcomeView : public QWidget {
    Q_OBJECT

public:
    WelcomeView(StatusModel& status, platform::Permissions* permissions,
                std::function<void()> onClose, QWidget* parent = nullptr);

    PermissionRow* microphoneRow() const { return m_microphone; }
    PermissionRow* accessibilityRow() const { return m_accessibility; }
    QPushButton* closeButton() const { return m_close; }

private:
    void showState();

    StatusModel& m_status;
    QLabel* m_subtitle;
    PermissionRow* m_microphone;
    PermissionRow* m_accessibility;
    QWidget* m_allSetLine;
    QLabel* m_allSet;
    QPushButton* m_close;
};

} // namespace parlova::app
