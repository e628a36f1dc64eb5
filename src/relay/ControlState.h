#pragma once

#include "relay/Outcome.h"
#include "relay/Reply.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <mutex>
#include <optional>

namespace parlova::relay {

// One answer scripted through the control route for the next requests of
// one route: an optional delay, then a dropped connection, a given answer,
// or (with neither) the route's normal answer. Scripting HTTP answers is
// the control route's purpose: the answer is a Reply as it will be sent.
struct ScriptedAnswer {
    QString path;   // "/api/compte"
    QString method; // empty: any method
    int delayMs = 0;
    bool drop = false;
    std::optional<Reply> reply;
    int times = 1;
};

// What the control routes change in a running relay, shared by the threads
// that serve requests.
class ControlState {
public:
    static constexpr int maxDelayMs = 120000;

    // From the JSON of POST /controle/reponse:
    // {"route": "api/compte", "methode": "GET", "statut": 503,
    //  "corps": {…} or "texte", "typeContenu": "…", "retryAfter": "120",
    //  "delai": 1500, "coupure": true, "fois": 1}
    // Only "route" is required. Refused as JsonBody::read refuses, with
    // MalformedJson for a member of the wrong type, or InvalidStatus.
    static Outcome<ScriptedAnswer> parse(const QByteArray& contentType, const QByteArray& body);

    void add(ScriptedAnswer answer);
    void clear();
    // The script that applies to this request, used up once taken.
    std::optional<ScriptedAnswer> take(const QString& method, const QString& path);

private:
    std::mutex m_mutex;
    QList<ScriptedAnswer> m_answers;
};

} // namespace parlova::relay
