#pragma once

#include <QLatin1StringView>

namespace parlova::protocol {

// Every JSON member name of the relay's answers and requests, written once.
// A name shared by two payloads ("mots", "semaine", "parrainage") is one
// constant: the two sides of the wire read and write the same word.
class Member {
public:
    Member() = delete;

    // The account
    static constexpr QLatin1StringView email{"email"};
    static constexpr QLatin1StringView offer{"offre"};
    static constexpr QLatin1StringView proUntil{"proJusquAu"};
    static constexpr QLatin1StringView subscription{"abonnement"};
    static constexpr QLatin1StringView week{"semaine"};
    static constexpr QLatin1StringView referral{"parrainage"};
    static constexpr QLatin1StringView prices{"tarifs"};
    static constexpr QLatin1StringView links{"liens"};

    // The week
    static constexpr QLatin1StringView words{"mots"};
    static constexpr QLatin1StringView limit{"plafond"};
    static constexpr QLatin1StringView remaining{"reste"};
    static constexpr QLatin1StringView resetsAt{"reinitialisation"};

    // The subscription
    static constexpr QLatin1StringView period{"periode"};
    static constexpr QLatin1StringView status{"statut"};
    static constexpr QLatin1StringView periodEnd{"finPeriode"};
    static constexpr QLatin1StringView cancels{"resilie"};

    // The referral figures
    static constexpr QLatin1StringView code{"code"};
    static constexpr QLatin1StringView link{"lien"};
    static constexpr QLatin1StringView friends{"amis"};
    static constexpr QLatin1StringView validatedFriends{"amisValides"};
    static constexpr QLatin1StringView monthsEarned{"moisGagnes"};

    // The prices
    static constexpr QLatin1StringView currency{"devise"};
    static constexpr QLatin1StringView monthly{"mensuel"};
    static constexpr QLatin1StringView yearly{"annuel"};
    static constexpr QLatin1StringView cents{"centimes"};
    static constexpr QLatin1StringView centsPerMonth{"centimesParMois"};

    // The links
    static constexpr QLatin1StringView terms{"conditions"};
    static constexpr QLatin1StringView privacy{"confidentialite"};

    // The dictation answer
    static constexpr QLatin1StringView text{"texte"};

    // The sign-in answers
    static constexpr QLatin1StringView sent{"envoye"};
    static constexpr QLatin1StringView expiresAt{"expiration"};
    static constexpr QLatin1StringView token{"jeton"};
    static constexpr QLatin1StringView account{"compte"};

    // A page to open
    static constexpr QLatin1StringView url{"url"};

    // An error body
    static constexpr QLatin1StringView error{"erreur"};
    static constexpr QLatin1StringView wait{"attente"};
    static constexpr QLatin1StringView attemptsLeft{"essaisRestants"};
};

} // namespace parlova::protocol
