#pragma once

#include "relay/Outcome.h"

#include "protocol/AccountPayload.h"
#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

namespace parlova::relay {

class AccountStore;
class Clock;
class Database;
class TranscriptionEngine;

// "api/dicter": a free account's weekly cap is checked, the audio decoded to
// 16 kHz mono, transcribed and its words counted. They are added to the week
// only once the answer is delivered: until then they are held against the
// cap, so that dictations sent at once cannot all pass it.
class DictationService {
public:
    // A transcribed take and the words it will charge.
    struct Dictation {
        QString text;
        qint64 words = 0;
        protocol::AccountPayload::Week week; // the account's week, these words included
        qint64 accountId = 0;
    };

    // Two minutes is the longest take; a little margin for the encoder.
    static constexpr double maxSeconds = 130.0;

    DictationService(Database& db, const Clock& clock, AccountStore& accounts,
                     TranscriptionEngine& engine);

    // The form's audio part and its optional language code. A dictation
    // must be settled once its answer is written (or not).
    Outcome<Dictation> dictate(qint64 accountId, const QByteArray& audio,
                               const std::optional<QString>& language);
    // Charges the words of a dictation the client received; forgets those
    // of one it did not, and says so in the log.
    void settle(const Dictation& dictation, bool delivered);

    // A language as the form may name it: two or three lower-case letters.
    static bool validLanguage(const QString& code);

private:
    Database& m_db;
    const Clock& m_clock;
    AccountStore& m_accounts;
    TranscriptionEngine& m_engine;
    // Words of answers not yet settled, per account; under the database lock.
    std::map<qint64, qint64> m_held;
};

} // namespace parlova::relay
