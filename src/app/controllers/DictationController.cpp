#include "app/controllers/DictationController.h"

#include "core/texts/Texts.h"

#include <QFile>
#include <QLoggingCategory>

namespace parlova::app {

using core::DictationFailure;
using core::HoldMachine;
using core::RelayFailure;
using Stage = core::DictationTimeline::Stage;

namespace {

Q_LOGGING_CATEGORY(timingLog, "parlova.timing", QtInfoMsg)

} // namespace

DictationController::DictationController(Devices devices, core::SettingsStore store,
                                         core::AsyncKeychain& keychain, Clock& clock,
                                         std::shared_ptr<core::RelayTransport> transport,
                                         QObject* parent)
    : QObject(parent)
    , m_devices(std::move(devices))
    , m_store(std::move(store))
    , m_clock(clock)
    , m_transport(std::move(transport))
    , m_session(
          std::make_unique<SessionController>(m_status, keychain, m_store, clock, m_transport)) {
    connect(m_session.get(), &SessionController::signedOut, this,
            &DictationController::sessionDidEnd);
}

DictationController::~DictationController() = default;

core::RelayClient DictationController::client() const {
    if (m_transport)
        return core::RelayClient(m_store.relayOrigin(), m_transport, {},
                                 m_store.relayAuthorities());
    return core::RelayClient(m_store);
}

QCoro::Task<> DictationController::start() {
    const core::ParlovaSettings settings = m_store.load();
    m_status.setHoldKey(settings.holdKey);
    m_status.setLanguage(settings.language);
    m_devices.keyMonitor->setHoldKey(settings.holdKey);

    connect(m_devices.keyMonitor.get(), &platform::KeyMonitor::event, this,
            &DictationController::handle);
    connect(m_devices.keyMonitor.get(), &platform::KeyMonitor::sourceChanged, this,
            [this] { m_status.setKeySource(m_devices.keyMonitor->source()); });
    connect(m_devices.recorder.get(), &platform::Recorder::levelMeasured, this,
            [this](float level) { m_devices.pill->setLevel(level); });

    m_devices.keyMonitor->start();
    m_status.setKeySource(m_devices.keyMonitor->source());
    // Fn never reaches an X server (its code is above 255): the standard
    // key stands in, and the stored choice stays for another session.
    if (settings.holdKey == core::HoldKey::function &&
        m_devices.keyMonitor->source().kind == platform::KeyMonitor::Source::Kind::displayServer) {
        m_status.setHoldKey(core::HoldKey::standard);
        m_devices.keyMonitor->setHoldKey(core::HoldKey::standard);
    }
    QCoro::Task<> starting = m_session->start();
    refreshPermissions();
    schedulePermissionPoll();
    co_await std::move(starting);
}

void DictationController::schedulePermissionPoll() {
    // Permissions granted in the desktop's settings show within a second.
    m_permissionPoll = m_clock.after(permissionPollPeriod, [this] {
        refreshPermissions();
        schedulePermissionPoll();
    });
}

void DictationController::setHoldKey(core::HoldKey key) {
    m_status.setHoldKey(key);
    m_devices.keyMonitor->setHoldKey(key);
    save();
}

void DictationController::setLanguage(core::DictationLanguage language) {
    m_status.setLanguage(language);
    save();
}

void DictationController::save() {
    m_store.save(core::ParlovaSettings{m_status.holdKey(), m_status.language()});
    Q_EMIT changed();
}

void DictationController::setActivity(Activity activity) {
    if (m_activity == activity)
        return;
    m_activity = activity;
    Q_EMIT activityChanged();
}

void DictationController::configureShortcut() {
    m_devices.keyMonitor->configureShortcut();
}

void DictationController::handOverHoldKey(bool down, double at) {
    m_devices.keyMonitor->noteHandedOver();
    handle(down ? HoldMachine::Event::keyDown(at) : HoldMachine::Event::keyUp(at));
}

void DictationController::handle(HoldMachine::Event event) {
    switch (m_machine.handle(event)) {
    case HoldMachine::Command::startListening:
        beginListening();
        break;
    case HoldMachine::Command::cancelListening:
        m_maximumTimer.reset();
        m_devices.recorder->cancel();
        m_devices.pill->hide();
        setActivity(Activity::ready);
        Q_EMIT changed();
        break;
    case HoldMachine::Command::stopAndTranscribe:
        m_timeline = std::make_shared<core::DictationTimeline>();
        m_timeline->mark(Stage::released);
        finishListening();
        break;
    case HoldMachine::Command::none:
        break;
    }
}

void DictationController::beginListening() {
    refreshPermissions();
    if (const core::Done<DictationFailure> ready = m_status.readiness().check(); !ready) {
        refuse(ready.error());
        return;
    }
    if (const std::optional<core::Account>& account = m_status.account()) {
        const QDateTime now = m_clock.now();
        if (account->isAtLimit(now)) {
            refuse(DictationFailure::relay(RelayFailure::quotaReached(account->week.resetsAt)));
            return;
        }
        // The week shown is over: the take may go ahead, the count is stale.
        if (account->weekHasEnded(now))
            m_session->refreshAccount();
    }
    if (const core::Done<DictationFailure> started = m_devices.recorder->start(); !started) {
        refuse(started.error());
        return;
    }
    // Built once per take: its settings (and the authority file they name)
    // are read at the press, not again on the way to the text. The release
    // must not wait for a handshake either: the connection opens while the
    // user speaks. Signed out, the take goes nowhere.
    m_takeClient = client();
    if (m_session->token())
        m_takeClient->warmUp();
    m_devices.pill->setLevel(0.0f);
    m_devices.pill->present(PillState::listening());
    setActivity(Activity::listening);
    Q_EMIT changed();
    m_maximumTimer = m_clock.after(HoldMachine::maximumHold,
                                   [this] { handle(HoldMachine::Event::maximumReached()); });
}

void DictationController::finishListening() {
    m_maximumTimer.reset();
    const core::Result<platform::Recorder::Take, DictationFailure> take =
        m_devices.recorder->stop();
    m_timeline->mark(Stage::takeClosed);
    if (!take) {
        finish(take.error());
        return;
    }
    if (!take->soundCheck.heardSound()) {
        QFile::remove(take->path);
        finish(DictationFailure::noSound());
        return;
    }
    m_devices.pill->present(PillState::transcribing());
    setActivity(Activity::transcribing);
    Q_EMIT changed();
    transcribe(this, Upload{m_takeClient ? *m_takeClient : client(), m_status.language(),
                            m_session->token(), *take, m_timeline});
}

QCoro::Task<> DictationController::transcribe(QPointer<DictationController> self, Upload upload) {
    // The take holds the user's voice: it goes, whatever happens below.
    struct TakeRemoval {
        QString path;
        ~TakeRemoval() { QFile::remove(path); }
    } const removal{upload.take.path};

    if (!self)
        co_return;
    std::optional<DictationFailure> failure;
    QFile file(upload.take.path);
    if (!upload.token) {
        failure = DictationFailure::relay(RelayFailure::signedOut());
    } else if (!file.open(QIODevice::ReadOnly)) {
        failure = DictationFailure::recordingFailed();
    } else {
        const QByteArray audio = file.readAll();
        file.close();
        QCoro::Task<core::RelayResult<core::Dictation, DictationFailure>> sending =
            upload.client.dictate(audio, *upload.token, upload.language, upload.timeline);
        const core::RelayResult<core::Dictation, DictationFailure> dictation =
            co_await std::move(sending);
        if (!self)
            co_return;
        if (!dictation) {
            failure = dictation.error();
        } else {
            upload.timeline->mark(Stage::answerDecoded);
            self->m_session->update(dictation->week);
            self->keepLastTranscript(dictation->text);
            QCoro::Task<core::Done<DictationFailure>> inserting =
                self->m_devices.inserter->insert(dictation->text, upload.timeline);
            const core::Done<DictationFailure> inserted = co_await std::move(inserting);
            if (!self)
                co_return;
            if (!inserted)
                failure = inserted.error();
        }
    }

    if (failure && failure->relayFailure()) {
        const RelayFailure& relay = *failure->relayFailure();
        if (relay.kind() == RelayFailure::Kind::quotaReached)
            self->m_session->refreshAccount();
        // A refusal of a token that has since been replaced ends nothing.
        if (relay.kind() == RelayFailure::Kind::signedOut && upload.token &&
            self->m_session->token() == upload.token)
            self->m_session->end();
    }
    QFile::remove(upload.take.path);
    qCDebug(timingLog).noquote() << upload.timeline->summary();
    self->finish(failure);
}

void DictationController::finish(const std::optional<DictationFailure>& failure) {
    m_machine.handle(HoldMachine::Event::done());
    const bool pasteMissed = failure &&
                             failure->kind() == DictationFailure::Kind::insertionFailed &&
                             !m_lastTranscript.isEmpty();
    if (pasteMissed)
        m_devices.pill->showMessage(core::Texts::pasteAgainMessage());
    else if (failure)
        m_devices.pill->showMessage(failure->message());
    else
        m_devices.pill->hide();
    setActivity(Activity::ready);
    Q_EMIT changed();
    if (failure && failure->opensPro())
        Q_EMIT proNeeded();
}

void DictationController::refuse(const DictationFailure& failure) {
    m_machine.handle(HoldMachine::Event::done());
    m_devices.pill->showMessage(failure.message());
    setActivity(Activity::ready);
    Q_EMIT changed();
    if (failure.opensWelcome())
        Q_EMIT welcomeNeeded();
    if (failure.opensPro())
        Q_EMIT proNeeded();
}

void DictationController::keepLastTranscript(const QString& text) {
    m_lastTranscript = text;
    m_lastTranscriptTimer =
        m_clock.after(lastTranscriptLifetime, [this] { forgetLastTranscript(); });
    m_status.setLastDictationKept(true);
}

void DictationController::forgetLastTranscript() {
    // Overwritten, not only dropped: nothing of it lingers in freed memory.
    m_lastTranscript.fill(QChar(u' '));
    m_lastTranscript.clear();
    m_lastTranscriptTimer.reset();
    m_status.setLastDictationKept(false);
}

bool DictationController::pasteLast() {
    if (m_lastTranscript.isEmpty() || m_activity != Activity::ready)
        return false;
    pasteAgain(this, m_lastTranscript);
    return true;
}

QCoro::Task<> DictationController::pasteAgain(QPointer<DictationController> self, QString text) {
    QCoro::Task<core::Done<DictationFailure>> inserting = self->m_devices.inserter->insert(text);
    const core::Done<DictationFailure> inserted = co_await std::move(inserting);
    if (self && !inserted)
        self->m_devices.pill->showMessage(core::Texts::pasteAgainMessage());
}

void DictationController::sessionDidEnd() {
    // Signed out (or the account deleted): the words go with the session.
    forgetLastTranscript();
    if (m_activity != Activity::listening)
        return;
    m_machine.handle(HoldMachine::Event::done());
    m_maximumTimer.reset();
    m_devices.recorder->cancel();
    m_devices.pill->showMessage(DictationFailure::relay(RelayFailure::signedOut()).message());
    setActivity(Activity::ready);
    Q_EMIT changed();
}

void DictationController::refreshPermissions() {
    const core::Readiness::Microphone microphone = m_devices.permissions->microphone();
    const bool accessibility = m_devices.permissions->accessibility();
    if (microphone == m_status.microphone() && accessibility == m_status.accessibility())
        return;
    const bool granted = accessibility && !m_status.accessibility();
    m_status.setMicrophone(microphone);
    m_status.setAccessibility(accessibility);
    // Key sources that could not open before can open now.
    if (granted)
        m_devices.keyMonitor->start();
    Q_EMIT changed();
}

} // namespace parlova::app
