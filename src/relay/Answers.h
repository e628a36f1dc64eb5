#pragma once

#include "relay/DictationService.h"
#include "relay/Outcome.h"
#include "relay/Pages.h"
#include "relay/Reply.h"
#include "relay/SignInService.h"

#include <QJsonObject>

namespace parlova::relay {

// The HTTP layer's reading of outcomes: which status, body and headers each
// value and each refusal gets, the only place that decides them.
class Answers {
public:
    Answers() = delete;

    // {"erreur": code, …} with its status, Retry-After on a wait; the 404
    // page of a page route.
    static Reply refusal(const Refused& refused);

    // 200 with the JSON object.
    static Reply json(const QJsonObject& object);
    // 204.
    static Reply done(const Done&);
    static Reply page(const Page& page);
    // {"url": address} of a page to open.
    static Reply address(const QString& url);
    static Reply codeSent(const SignInService::CodeSent& sent);
    static Reply signedIn(const SignInService::SignedIn& signedIn);
    static Reply dictation(const DictationService::Dictation& dictation);

    // The answer to an outcome: `render` for its value, else its refusal.
    template <typename T, typename Render>
    static Reply of(const Outcome<T>& outcome, Render render) {
        return outcome ? render(*outcome) : refusal(outcome.failure());
    }
};

} // namespace parlova::relay
