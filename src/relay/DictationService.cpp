#include "relay/DictationService.h"

#include "relay/AccountJson.h"
#include "relay/AccountStore.h"
#include "relay/AudioDecoder.h"
#include "relay/Clock.h"
#include "relay/Database.h"
#include "relay/Log.h"
#include "relay/ParisWeek.h"
#include "relay/TranscriptionEngine.h"
#include "relay/WordCount.h"

#include <QRegularExpression>

#include <chrono>

namespace parlova::relay {

DictationService::DictationService(Database& db, const Clock& clock, AccountStore& accounts,
                                   TranscriptionEngine& engine)
    : m_db(db)
    , m_clock(clock)
    , m_accounts(accounts)
    , m_engine(engine) {}

namespace {

Refused quotaReached(qint64 now) {
    Refused refused(Refusal::WeeklyCapReached);
    refused.resetsAt = ParisWeek::nextStart(now);
    return refused;
}

} // namespace

bool DictationService::validLanguage(const QString& code) {
    if (code.size() < 2 || code.size() > 3)
        return false;
    for (const QChar c : code)
        if (c < u'a' || c > u'z')
            return false;
    return true;
}

Outcome<DictationService::Dictation>
DictationService::dictate(qint64 accountId, const QByteArray& audio,
                          const std::optional<QString>& language) {
    const auto held = [this](qint64 id, qint64 now) {
        auto words = m_db.prepare(
            "SELECT COALESCE(SUM(mots), 0) FROM mots_reserves WHERE compte = ?1 AND le > ?2");
        words.bind(1, id).bind(2, now - holdSeconds);
        return words.step() ? words.integer(0) : 0;
    };
    {
        const qint64 now = m_clock.now();
        Database::Guard guard(m_db);
        const auto account = m_accounts.byId(accountId);
        if (!account)
            return Refusal::SignedOut;
        const OfferState offer = m_accounts.offer(*account, m_accounts.settle(accountId, now), now);
        const bool capReached =
            offer.isFree() && m_accounts.wordsThisWeek(*account, now) + held(accountId, now) >=
                                  AccountStore::weeklyCap;
        guard.commit();
        if (capReached)
            return quotaReached(now);
    }

    // The slow part runs without the database lock.
    const auto started = std::chrono::steady_clock::now();
    const AudioDecoder::Decoded decoded = AudioDecoder::decode(audio, maxSeconds);
    if (!decoded)
        return decoded.failure() == AudioDecoder::Failure::TooLong ? Refusal::TakeTooLong
                                                                   : Refusal::UnreadableAudio;
    const Transcription transcription = m_engine.transcribe(*decoded, audio, language);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    if (!transcription) {
        const EngineFailure& failure = transcription.failure();
        switch (failure.kind) {
        case EngineFailure::Kind::Misconfigured:
            Log::line(QStringLiteral("Moteur mal configuré : %1").arg(failure.detail));
            return Refusal::EngineMisconfigured;
        case EngineFailure::Kind::Failed:
            Log::line(QStringLiteral("Transcription échouée : %1").arg(failure.detail));
            return Refusal::TranscriptionFailed;
        }
    }
    // Engines end lines and pad words as they like; French typography's
    // no-break spaces (before : ; ! ?) are part of the text and stay.
    static const QRegularExpression blanks(QStringLiteral("[ \\t\\n\\r\\f\\v]+"));
    const QString text = QString(*transcription).replace(blanks, QStringLiteral(" ")).trimmed();
    const int words = WordCount::count(text);
    const double seconds = double(decoded->size()) / AudioDecoder::sampleRate;
    Log::line(QStringLiteral("Dictée de %1 s transcrite en %2 ms : %3 mots")
                  .arg(seconds, 0, 'f', 1)
                  .arg(elapsed)
                  .arg(words));

    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    const auto account = m_accounts.byId(accountId);
    if (!account)
        return Refusal::SignedOut;
    const OfferState offer = m_accounts.offer(*account, m_accounts.settle(accountId, now), now);
    // Dictations sent at once all passed the first check: whichever finds the
    // cap reached by the others is refused here, so that the week ends at most
    // one dictation's words over the cap, as with a single dictation.
    const qint64 before = m_accounts.wordsThisWeek(*account, now) + held(accountId, now);
    if (offer.isFree() && before >= AccountStore::weeklyCap)
        return quotaReached(now);
    const qint64 holdId =
        m_db.prepare(
                "INSERT INTO mots_reserves (compte, mots, le) VALUES (?1, ?2, ?3) RETURNING id")
            .bind(1, accountId)
            .bind(2, qint64(words))
            .bind(3, now)
            .insertedId();
    const protocol::AccountPayload::Week week = AccountJson::week(before + words, offer, now);
    guard.commit();
    return Dictation{text, words, week, accountId, holdId};
}

void DictationService::settle(const Dictation& dictation, bool delivered) {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    // Released and charged in one transaction: a process killed in between
    // leaves the words held, never charged twice.
    m_db.prepare("DELETE FROM mots_reserves WHERE id = ?1").bind(1, dictation.hold).run();
    if (!delivered) {
        Log::line(QStringLiteral("Dictée non facturée : client parti avant la réponse (%1 mots)")
                      .arg(dictation.words));
    } else if (const auto account = m_accounts.byId(dictation.accountId)) {
        // (An account deleted meanwhile has nothing left to charge.)
        m_accounts.addWords(dictation.accountId, dictation.words, now);
        if (dictation.words > 0)
            m_accounts.validateReferral(account->email, now);
    }
    guard.commit();
}

void DictationService::purge() {
    const qint64 now = m_clock.now();
    Database::Guard guard(m_db);
    m_db.prepare("DELETE FROM mots_reserves WHERE le <= ?1").bind(1, now - holdSeconds).run();
    guard.commit();
}

} // namespace parlova::relay
