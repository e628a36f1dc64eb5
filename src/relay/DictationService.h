#pragma once

#include "relay/Reply.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace parlova::relay {

class AccountStore;
class Clock;
class Database;
class TranscriptionEngine;

// "api/dicter": a free account's weekly cap is checked, the audio decoded to
// 16 kHz mono, transcribed, its words counted and added to the week.
class DictationService {
public:
    // Two minutes is the longest take; a little margin for the encoder.
    static constexpr double maxSeconds = 130.0;

    DictationService(Database& db, const Clock& clock, AccountStore& accounts,
                     TranscriptionEngine& engine);

    // The form's audio part and its optional language code.
    Reply dictate(qint64 accountId, const QByteArray& audio,
                  const std::optional<QString>& language);

    // A language as the form may name it: two or three lower-case letters.
    static bool validLanguage(const QString& code);

private:
    Database& m_db;
    const Clock& m_clock;
    AccountStore& m_accounts;
    TranscriptionEngine& m_engine;
};

} // namespace parlova::relay
