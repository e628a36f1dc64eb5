#pragma once

#include "relay/Outcome.h"

#include "protocol/AccountPayload.h"
#include <QByteArray>
#include <QString>

#include <optional>

namespace parlova::relay {

class AccountStore;
class Clock;
class Database;
class TranscriptionEngine;

// "api/dicter": a free account's weekly cap is checked, the audio decoded to
// 16 kHz mono, transcribed and its words counted. They are added to the week
// only once the answer is delivered: until then they are held against the
// cap, in the database, so that dictations sent at once to any of the relay's
// processes cannot all pass it.
class DictationService {
public:
    // A transcribed take and the words it will charge.
    struct Dictation {
        QString text;
        qint64 words = 0;
        protocol::AccountPayload::Week week; // the account's week, these words included
        qint64 accountId = 0;
        qint64 hold = 0; // the row that holds the words until settled
    };

    // Two minutes is the longest take; a little margin for the encoder.
    static constexpr double maxSeconds = 130.0;
    // A hold left by a process that died before settling is forgotten after
    // this long: far more than a transcription and its answer take.
    static constexpr qint64 holdSeconds = 600;

    DictationService(Database& db, const Clock& clock, AccountStore& accounts,
                     TranscriptionEngine& engine);

    // The form's audio part and its optional language code. A dictation
    // must be settled once its answer is written (or not).
    Outcome<Dictation> dictate(qint64 accountId, const QByteArray& audio,
                               const std::optional<QString>& language);
    // Charges the words of a dictation the client received; forgets those
    // of one it did not, and says so in the log.
    void settle(const Dictation& dictation, bool delivered);
    // Forgets the holds of processes that died.
    void purge();

    // A language as the form may name it: two or three lower-case letters.
    static bool validLanguage(const QString& code);

private:
    Database& m_db;
    const Clock& m_clock;
    AccountStore& m_accounts;
    TranscriptionEngine& m_engine;
};

} // namespace parlova::relay
