#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

namespace parlova::protocol {

// The user's account as the relay sends it: the whole body of the account
// read, the "compte" member of a sign-in answer, and (for the week alone) the
// "semaine" member of a dictation answer. AccountCodec reads and writes it.
struct AccountPayload {
    // The offer, folded from "offre", "proJusquAu" and (for the free offer) the
    // weekly cap, so that each case carries exactly what it needs.
    class Offer {
    public:
        enum class Kind { trial, gifted, pro, free };

        Offer() = default; // free
        static Offer trial(const QDateTime& until) { return Offer(Kind::trial, until); }
        static Offer gifted(const QDateTime& until) { return Offer(Kind::gifted, until); }
        static Offer pro(const std::optional<QDateTime>& until = std::nullopt) {
            return Offer(Kind::pro, until);
        }
        static Offer free() { return Offer(); }
        // As the relay's records hold it, where nothing ties the date to the kind.
        static Offer of(Kind kind, const std::optional<QDateTime>& until) {
            return Offer(kind, until);
        }

        Kind kind() const { return m_kind; }
        // The end of the trial or gift; for pro, the end date the relay gave, if any.
        const std::optional<QDateTime>& until() const { return m_until; }

        friend bool operator==(const Offer&, const Offer&) = default;

    private:
        Offer(Kind kind, const std::optional<QDateTime>& until)
            : m_kind(kind)
            , m_until(until) {}

        Kind m_kind = Kind::free;
        std::optional<QDateTime> m_until;
    };

    // The words of the current week ("semaine").
    struct Week {
        qint64 words = 0;                // "mots"
        std::optional<qint64> limit;     // "plafond"; none for unlimited offers
        std::optional<qint64> remaining; // "reste"; none for unlimited offers
        QDateTime resetsAt;              // "reinitialisation"

        friend bool operator==(const Week&, const Week&) = default;
    };

    // The payment service's subscription ("abonnement").
    struct Subscription {
        enum class Period { monthly, yearly };

        // "mensuel", "annuel": the relay's words, also sent for a checkout.
        static QString rawValue(Period period);
        // Exact, case-sensitive.
        static std::optional<Period> periodFromRawValue(QStringView raw);

        Period period = Period::monthly; // "periode"
        QString status;                  // "statut", verbatim ("active", "past_due", ...)
        QDateTime periodEnd;             // "finPeriode"
        bool cancelsAtPeriodEnd = false; // "resilie"

        bool paymentFailed() const { return status == u"past_due"; }
        bool isTrialing() const { return status == u"trialing"; }

        friend bool operator==(const Subscription&, const Subscription&) = default;
    };

    // The user's referral figures ("parrainage").
    struct Referral {
        QString code;                // "code"
        QUrl link;                   // "lien", the invitation to share
        qint64 friends = 0;          // "amis"
        qint64 validatedFriends = 0; // "amisValides"
        qint64 monthsEarned = 0;     // "moisGagnes"

        friend bool operator==(const Referral&, const Referral&) = default;
    };

    // The two Pro plans as the relay prices them ("tarifs"); never computed here.
    struct Prices {
        QString currency;               // "devise", ISO 4217 as sent ("eur")
        qint64 monthlyCents = 0;        // "mensuel" -> "centimes"
        qint64 yearlyCents = 0;         // "annuel" -> "centimes"
        qint64 yearlyCentsPerMonth = 0; // "annuel" -> "centimesParMois"

        friend bool operator==(const Prices&, const Prices&) = default;
    };

    // Terms and privacy policy ("liens"); only secure web pages are kept.
    struct Links {
        std::optional<QUrl> terms;   // "conditions"
        std::optional<QUrl> privacy; // "confidentialite"

        friend bool operator==(const Links&, const Links&) = default;
    };

    QString email;
    Offer offer;
    std::optional<Subscription> subscription;
    Week week;
    Referral referral;
    Prices prices;
    Links links;

    friend bool operator==(const AccountPayload&, const AccountPayload&) = default;
};

} // namespace parlova::protocol
