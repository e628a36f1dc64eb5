#pragma once

#include "app/controllers/Clock.h"
#include "app/controllers/Pill.h"
#include "app/controllers/SessionController.h"
#include "app/controllers/StatusModel.h"
#include "core/domain/DictationFailure.h"
#include "core/domain/DictationTimeline.h"
#include "core/domain/HoldMachine.h"
#include "core/keychain/AsyncKeychain.h"
#include "core/relayclient/RelayClient.h"
#include "core/settings/SettingsActions.h"
#include "core/settings/SettingsStore.h"
#include "platform/KeyMonitor.h"
#include "platform/Permissions.h"
#include "platform/Recorder.h"
#include "platform/TextInserter.h"

#include <QObject>
#include <QPointer>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

namespace parlova::app {

// Ties one dictation together: the hold machine driven by the key monitor,
// the checks before a take (readiness, then the weekly quota of a free
// account), the recorder and the pill, the 120 s limit, the upload and the
// text at the cursor. Reports every failure in the pill and asks for the
// welcome or the Pro window when a failure calls for it. Also carries the
// settings screen's changes to the key monitor and the preferences, and
// polls the permissions every second.
//
// Owns the status model, the session controller and the devices for the
// whole run. Main thread only.
class DictationController : public QObject, public core::SettingsActions {
    Q_OBJECT
    Q_PROPERTY(Activity activity READ activity NOTIFY activityChanged)

public:
    enum class Activity { ready, listening, transcribing };
    Q_ENUM(Activity)

    static constexpr double permissionPollPeriod = 1.0;

    // The platform pieces a dictation goes through; all required.
    struct Devices {
        std::unique_ptr<platform::KeyMonitor> keyMonitor;
        std::unique_ptr<platform::Recorder> recorder;
        std::unique_ptr<platform::TextInserter> inserter;
        std::unique_ptr<platform::Permissions> permissions;
        std::unique_ptr<Pill> pill;
    };

    // The keychain and the clock outlive the controller. Without a
    // transport, relay calls go over the program's network transport.
    DictationController(Devices devices, core::SettingsStore store, core::AsyncKeychain& keychain,
                        Clock& clock, std::shared_ptr<core::RelayTransport> transport = {},
                        QObject* parent = nullptr);
    ~DictationController() override;

    // Loads the settings, starts the key monitor, the session, the
    // permission state and its poll. Called once; the task ends when the
    // session knows whether someone is signed in.
    QCoro::Task<> start();

    Activity activity() const { return m_activity; }
    StatusModel& status() { return m_status; }
    SessionController& session() { return *m_session; }
    platform::Permissions& permissions() { return *m_devices.permissions; }

    // Settings actions: the value goes to the status model (and the key to
    // the key monitor), then the pair is saved.
    void setHoldKey(core::HoldKey key) override;
    void configureShortcut() override;

    // Pastes the last transcript again, as after its dictation, while one
    // is kept (10 minutes, in memory only) and no take is under way; false
    // when there is nothing to paste now.
    bool pasteLast();
    static constexpr double lastTranscriptLifetime = 10 * 60;

    // A press or release of the hold key that a compositor binding reported
    // (`parlova --maintenir`, `--relacher`), on any session, beside the key
    // monitor's own; `at` in seconds on the monotonic clock.
    void handOverHoldKey(bool down, double at);
    void setLanguage(core::DictationLanguage language) override;

    // The session has ended: a take being recorded stops with the
    // signed-out message. A transcription under way finishes on its own.
    // Connected to the session already; calling it again does nothing more.
    void sessionDidEnd();

    // The stages of the last dictation that reached its release; none yet
    // before the first. Also written to the debug log when it ends.
    std::shared_ptr<const core::DictationTimeline> lastTimeline() const { return m_timeline; }

Q_SIGNALS:
    void activityChanged();
    // After every change the status item and the menu must reflect.
    void changed();
    // A failure calls for the welcome window (permissions, sign-in).
    void welcomeNeeded();
    // A failure calls for the Pro window (quota reached).
    void proNeeded();

private:
    // What the transcription of one take works with, fixed when it starts.
    struct Upload {
        core::RelayClient client;
        core::DictationLanguage language;
        std::optional<QString> token;
        platform::Recorder::Take take;
        std::shared_ptr<core::DictationTimeline> timeline;
    };

    void handle(core::HoldMachine::Event event);
    void keepLastTranscript(const QString& text);
    void forgetLastTranscript();
    static QCoro::Task<> pasteAgain(QPointer<DictationController> self, QString text);
    void beginListening();
    void finishListening();
    void refuse(const core::DictationFailure& failure);
    void finish(const std::optional<core::DictationFailure>& failure);
    void refreshPermissions();
    void schedulePermissionPoll();
    void save();
    void setActivity(Activity activity);
    core::RelayClient client() const;
    static QCoro::Task<> transcribe(QPointer<DictationController> self, Upload upload);

    Devices m_devices;
    core::SettingsStore m_store;
    Clock& m_clock;
    std::shared_ptr<core::RelayTransport> m_transport;
    StatusModel m_status;
    std::unique_ptr<SessionController> m_session;
    core::HoldMachine m_machine;
    Activity m_activity = Activity::ready;
    std::unique_ptr<Clock::Timer> m_maximumTimer;
    // The last transcript, never written anywhere, and its end.
    QString m_lastTranscript;
    std::unique_ptr<Clock::Timer> m_lastTranscriptTimer;
    std::unique_ptr<Clock::Timer> m_permissionPoll;
    std::shared_ptr<core::DictationTimeline> m_timeline;
    // The relay client of the take under way, made at its press.
    std::optional<core::RelayClient> m_takeClient;
};

} // namespace parlova::app
