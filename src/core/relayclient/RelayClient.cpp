#include "core/relayclient/RelayClient.h"

#include "core/relayclient/NetworkTransport.h"
#include "protocol/Member.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace parlova::core {

namespace {

using Request = RelayTransport::Request;

template <typename T>
using Decoder = Decoded<T> (*)(const QByteArray&);

// Sends one request and hands back the body when the status is exactly the
// expected one; every other status is turned into its failure.
QCoro::Task<RelayResult<QByteArray>> exchange(std::shared_ptr<RelayTransport> transport,
                                              Request request, int expected) {
    QCoro::Task<RelayResult<RelayTransport::Response>> sending =
        transport->send(std::move(request));
    const RelayResult<RelayTransport::Response> answer = co_await std::move(sending);
    if (!answer)
        co_return answer.error();
    const RelayTransport::Response& response = answer.value();
    if (!response.status)
        co_return RelayFailure::unexpectedResponse(0);
    if (*response.status == expected)
        co_return response.body;
    std::optional<QString> retryAfter;
    if (const std::optional<QByteArray> header = response.header("Retry-After"))
        retryAfter = QString::fromLatin1(*header);
    co_return RelayFailure::fromStatus(*response.status, response.body, retryAfter);
}

// An exchange that answers nothing but its status.
QCoro::Task<RelayDone> perform(std::shared_ptr<RelayTransport> transport, Request request,
                               int expected) {
    QCoro::Task<RelayResult<QByteArray>> sending =
        exchange(std::move(transport), std::move(request), expected);
    const RelayResult<QByteArray> body = co_await std::move(sending);
    if (!body)
        co_return body.error();
    // Spelled out: QCoro would store a bare monostate as "no result yet".
    co_return RelayDone(std::monostate{});
}

// An exchange whose 200 answer decodes into a value; a body that does not
// decode is an unexpected response.
template <typename T>
QCoro::Task<RelayResult<T>> fetch(std::shared_ptr<RelayTransport> transport, Request request,
                                  Decoder<T> decode) {
    QCoro::Task<RelayResult<QByteArray>> sending =
        exchange(std::move(transport), std::move(request), 200);
    const RelayResult<QByteArray> body = co_await std::move(sending);
    if (!body)
        co_return body.error();
    Decoded<T> decoded = decode(body.value());
    if (!decoded)
        co_return RelayFailure::unexpectedResponse(200);
    co_return std::move(decoded).value();
}

QCoro::Task<RelayResult<Dictation, DictationFailure>>
upload(std::shared_ptr<RelayTransport> transport, Request request) {
    QCoro::Task<RelayResult<QByteArray>> sending =
        exchange(std::move(transport), std::move(request), 200);
    const RelayResult<QByteArray> body = co_await std::move(sending);
    if (!body)
        co_return DictationFailure::relay(body.error());
    Decoded<Dictation> decoded = Dictation::fromJson(body.value());
    if (!decoded)
        co_return DictationFailure::relay(RelayFailure::unexpectedResponse(200));
    Dictation dictation = std::move(decoded).value();
    dictation.text = dictation.text.trimmed();
    if (dictation.text.isEmpty())
        co_return DictationFailure::noSpeech();
    co_return dictation;
}

// The payment answer: {"url": "https://…"}; any other kind of address is
// refused, so that the program never opens or prints it.
Decoded<QUrl> securePage(const QByteArray& bytes) {
    const Decoded<QJsonValue> root = RelayJSON::parse(bytes);
    if (!root)
        return root.error();
    RelayJSON::Reader reader(*root);
    const QString text = reader.string(protocol::Member::url);
    if (reader.failed())
        return reader.error();
    const QUrl url(text, QUrl::StrictMode);
    if (!isSecureWebPage(url))
        return DecodingError{protocol::Member::url, u"Page web sécurisée attendue."_s};
    return url;
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject signInBody(const QString& email, const std::optional<QString>& code,
                       const std::optional<QString>& referral) {
    QJsonObject body{{protocol::Member::email, email}};
    if (code)
        body.insert(protocol::Member::code, *code);
    if (referral)
        body.insert(protocol::Member::referral, *referral);
    return body;
}

// A token is opaque text; a control character in it could only split the
// header, so it is left out (the relay then refuses the token as unknown).
QByteArray bearer(const QString& token) {
    QByteArray value = "Bearer " + token.toUtf8();
    value.removeIf([](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    return value;
}

} // namespace

RelayClient::RelayClient(const SettingsStore& settings)
    : RelayClient(settings.relayOrigin(), NetworkTransport::standard(), {},
                  settings.relayAuthorities()) {}

RelayClient::RelayClient(QUrl origin, std::shared_ptr<RelayTransport> transport, Timeouts timeouts,
                         QList<QSslCertificate> authorities)
    : m_origin(std::move(origin))
    , m_transport(std::move(transport))
    , m_timeouts(timeouts)
    , m_authorities(std::move(authorities)) {}

Request RelayClient::request(const QByteArray& method, Route route,
                             const std::optional<QString>& token,
                             const std::optional<QByteArray>& json) const {
    Request result;
    result.method = method;
    result.url = url(route);
    result.timeout = m_timeouts.exchange;
    result.authorities = m_authorities;
    result.headers.emplaceBack("Accept", "application/json");
    if (token)
        result.headers.emplaceBack("Authorization", bearer(*token));
    if (json) {
        result.headers.emplaceBack("Content-Type", "application/json");
        result.body = *json;
    }
    return result;
}

QString RelayClient::newBoundary() {
    return u"parlova-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

Request RelayClient::dictationRequest(const QUrl& url, const QString& token,
                                      const QByteArray& audio, DictationLanguage language,
                                      const QString& boundary, std::chrono::milliseconds timeout) {
    const QByteArray crlf = "\r\n";
    const QByteArray delimiter = "--" + boundary.toUtf8();
    const std::optional<QString> code = whisperCode(language);

    // One buffer, sized once: the audio is copied a single time.
    QByteArray body;
    body.reserve(audio.size() + 3 * delimiter.size() + 256);
    body += delimiter + crlf;
    body += "Content-Disposition: form-data; name=\"audio\"; filename=\"dictee.m4a\"" + crlf;
    body += "Content-Type: audio/mp4" + crlf + crlf;
    body += audio;
    body += crlf;
    if (code) {
        body += delimiter + crlf;
        body += "Content-Disposition: form-data; name=\"langue\"" + crlf + crlf;
        body += code->toUtf8() + crlf;
    }
    body += delimiter + "--" + crlf;

    Request result;
    result.method = "POST";
    result.url = url;
    result.timeout = timeout;
    result.headers.emplaceBack("Authorization", bearer(token));
    result.headers.emplaceBack("Content-Type",
                               "multipart/form-data; boundary=" + boundary.toUtf8());
    result.headers.emplaceBack("Accept", "application/json");
    result.body = std::move(body);
    return result;
}

QCoro::Task<RelayResult<Dictation, DictationFailure>>
RelayClient::dictate(QByteArray audio, QString token, DictationLanguage language,
                     std::shared_ptr<DictationTimeline> timeline) const {
    Request request = dictationRequest(url(Route::dictate), token, audio, language, newBoundary(),
                                       m_timeouts.dictation);
    request.authorities = m_authorities;
    request.timeline = std::move(timeline);
    return upload(m_transport, std::move(request));
}

void RelayClient::warmUp() const {
    m_transport->warm(m_origin, m_authorities);
}

QCoro::Task<RelayDone> RelayClient::requestCode(QString email,
                                                std::optional<QString> referral) const {
    return perform(m_transport,
                   request("POST", Route::requestCode, std::nullopt,
                           compact(signInBody(email, std::nullopt, referral))),
                   200);
}

QCoro::Task<RelayResult<SignIn>> RelayClient::signIn(QString email, QString code,
                                                     std::optional<QString> referral) const {
    return fetch<SignIn>(m_transport,
                         request("POST", Route::verifyCode, std::nullopt,
                                 compact(signInBody(email, code, referral))),
                         &SignIn::fromJson);
}

QCoro::Task<RelayDone> RelayClient::signOut(QString token) const {
    return perform(m_transport, request("POST", Route::signOut, token, std::nullopt), 204);
}

QCoro::Task<RelayResult<Account>> RelayClient::account(QString token) const {
    return fetch<Account>(m_transport, request("GET", Route::account, token, std::nullopt),
                          &Account::fromJson);
}

QCoro::Task<RelayDone> RelayClient::deleteAccount(QString token) const {
    return perform(m_transport, request("DELETE", Route::account, token, std::nullopt), 204);
}

QCoro::Task<RelayResult<QUrl>> RelayClient::paymentPage(PaymentPage page, QString token) const {
    QJsonObject body;
    Route route = Route::portal;
    if (page.kind() == PaymentPage::Kind::checkout) {
        route = Route::checkout;
        body.insert(protocol::Member::period,
                    Account::Subscription::rawValue(page.period() == PaymentPage::Period::yearly
                                                        ? Account::Subscription::Period::yearly
                                                        : Account::Subscription::Period::monthly));
    }
    return fetch<QUrl>(m_transport, request("POST", route, token, compact(body)), &securePage);
}

} // namespace parlova::core
