#pragma once

#include "relay/AccountService.h"
#include "relay/AccountStore.h"
#include "relay/BillingService.h"
#include "relay/CertificateAuthority.h"
#include "relay/Clock.h"
#include "relay/CodeMailbox.h"
#include "relay/ControlState.h"
#include "relay/Database.h"
#include "relay/DictationService.h"
#include "relay/KeyedDigest.h"
#include "relay/Options.h"
#include "relay/SessionStore.h"
#include "relay/SignInService.h"
#include "relay/SignInStore.h"
#include "relay/TranscriptionEngine.h"

#include <memory>

namespace parlova::relay {

class TestEngine;

// Everything one running relay is made of, built from its options: the
// certificate authority and the database in the data folder, the engine and
// the services that answer requests.
class Relay {
public:
    explicit Relay(Options options);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Prepares the data folder, the certificates, the database and the
    // engine; a French message when the relay cannot start.
    Started open();
    // Makes the shared key and certificate authority in the secrets folder,
    // for the relay processes of one base to share.
    Started prepareSecrets();
    // Copies the data folder's SQLite base into a new PostgreSQL base.
    Started migrateTo(const QString& uri);

    const Options& options() const { return m_options; }
    // Where pages and links point: --origine, else the loopback address of
    // the port the relay listens on.
    const QString& origin() const { return m_origin; }
    void listensOn(int port);
    // The private folder of the takes that an engine needs on disk.
    QString dictationDir() const;

    // Forgets what has expired: codes, requests, wrong guesses, sessions, kept
    // weeks, pages.
    void purge();
    const CertificateAuthority& authority() const { return m_authority; }
    Clock& clock() { return m_clock; }
    CodeMailbox& mailbox() { return m_mailbox; }
    ControlState& control() { return m_control; }
    // The test engine, when it is the one in use (control route).
    TestEngine* testEngine() const { return m_testEngine; }

    SignInService& signIn() { return m_signIn; }
    AccountService& account() { return m_account; }
    BillingService& billing() { return m_billing; }
    DictationService& dictation() { return *m_dictation; }

private:
    Options m_options;
    QString m_origin;
    CertificateAuthority m_authority;
    Clock m_clock;
    KeyedDigest m_digest;
    std::unique_ptr<Database> m_db;
    AccountStore m_accounts;
    SessionStore m_sessions;
    SignInStore m_signInStore;
    CodeMailbox m_mailbox;
    ControlState m_control;
    std::unique_ptr<TranscriptionEngine> m_engine;
    TestEngine* m_testEngine = nullptr;
    SignInService m_signIn;
    AccountService m_account;
    BillingService m_billing;
    std::unique_ptr<DictationService> m_dictation;
};

} // namespace parlova::relay
