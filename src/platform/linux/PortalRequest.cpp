#include "platform/linux/PortalRequest.h"

#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QPointer>
#include <QRandomGenerator>

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroSignal>

namespace parlova::platform {

namespace {

Q_LOGGING_CATEGORY(portalLog, "parlova.portal")

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

} // namespace

PortalRequest::PortalRequest(QDBusConnection bus, QString interface, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_interface(std::move(interface)) {}

QDBusMessage PortalRequest::call(const QString& method, const QVariantList& arguments) const {
    QDBusMessage message = QDBusMessage::createMethodCall(service, objectPath, m_interface, method);
    message.setArguments(arguments);
    return message;
}

QString PortalRequest::message(Error error) {
    switch (error) {
    case Error::noPortal:
        return QStringLiteral("Le bureau n’a pas ce portail.");
    }
    return {};
}

QCoro::Task<core::Result<QVariant, PortalRequest::Error>> PortalRequest::property(QString name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({m_interface, name});
    const QPointer<PortalRequest> self(this);
    const QDBusPendingCall pending = m_bus.asyncCall(get);
    const QDBusMessage reply = co_await pending;
    if (!self || reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return Error::noPortal;
    co_return core::Result<QVariant, Error>(
        reply.arguments().constFirst().value<QDBusVariant>().variant());
}

QCoro::Task<PortalRequest::Answer> PortalRequest::request(QString method, QVariantList arguments,
                                                          QVariantMap options,
                                                          std::chrono::milliseconds timeout) {
    const QPointer<PortalRequest> self(this);
    // Our request paths are named after our name on the bus.
    if (!m_bus.isConnected())
        co_return Answer{};
    const QString token = nextToken();
    options.insert(QStringLiteral("handle_token"), token);
    // Listening before the call, at the path the portal will use: the
    // answer of a request that shows no dialog can come at once.
    QString path = handlePath(QStringLiteral("request"), token);
    watchRequest(path);

    arguments.append(options);
    const QDBusPendingCall pending = m_bus.asyncCall(call(method, arguments));
    const QDBusMessage reply = co_await pending;
    if (!self)
        co_return Answer{};
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(portalLog).noquote() << method << "was rejected:" << reply.errorName();
        unwatchRequest(path);
        co_return Answer{};
    }
    // Portals older than the handle_token option choose their own path.
    const QString given = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (!given.isEmpty() && given != path) {
        unwatchRequest(path);
        path = given;
        watchRequest(path);
    }

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (const auto found = m_answers.find(path); found != m_answers.end()) {
            Answer answer = std::move(found->second);
            unwatchRequest(path);
            co_return answer;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const auto heard = co_await qCoro(this, &PortalRequest::answered, left);
        if (!self)
            co_return Answer{};
        if (!heard)
            break;
    }
    // A dialog nobody saw, or a desktop that never answers: the dialog must
    // not stay behind for a request long given up.
    qCWarning(portalLog).noquote() << method << "got no answer in time";
    unwatchRequest(path);
    m_bus.send(
        QDBusMessage::createMethodCall(service, path, requestInterface, QStringLiteral("Close")));
    co_return Answer{};
}

QCoro::Task<PortalRequest::Answer> PortalRequest::createSession(std::chrono::milliseconds timeout) {
    const QPointer<PortalRequest> self(this);
    QCoro::Task<Answer> creating =
        request(QStringLiteral("CreateSession"), {},
                {{QStringLiteral("session_handle_token"), nextToken()}}, timeout);
    Answer created = co_await std::move(creating);
    if (!self)
        co_return Answer{};
    const QString session = sessionOf(created);
    if (created.code == Answer::granted && !session.isEmpty())
        m_bus.connect(service, session, sessionInterface, QStringLiteral("Closed"), this,
                      SLOT(onClosed(QDBusMessage)));
    co_return created;
}

QString PortalRequest::sessionOf(const Answer& created) {
    // An object path in the documentation, a string from the portal itself.
    const QVariant handle = created.results.value(QStringLiteral("session_handle"));
    return handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
               ? handle.value<QDBusObjectPath>().path()
               : handle.toString();
}

void PortalRequest::closeSession(const QString& session) {
    forgetSession(session);
    m_bus.send(QDBusMessage::createMethodCall(service, session, sessionInterface,
                                              QStringLiteral("Close")));
}

void PortalRequest::forgetSession(const QString& session) {
    m_bus.disconnect(service, session, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(onClosed(QDBusMessage)));
}

QString PortalRequest::nextToken() {
    // Unique for this connection even with several of us on it.
    return QStringLiteral("parlova_%1_%2")
        .arg(++m_requests)
        .arg(QRandomGenerator::global()->generate());
}

void PortalRequest::onResponse(uint code, const QVariantMap& results, const QDBusMessage& message) {
    m_answers[message.path()] = Answer{code, results};
    Q_EMIT answered();
}

void PortalRequest::onClosed(const QDBusMessage& message) {
    forgetSession(message.path());
    Q_EMIT sessionClosed(message.path());
}

QString PortalRequest::handlePath(const QString& kind, const QString& token) const {
    // ":1.42" becomes "1_42".
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return objectPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') +
           token;
}

void PortalRequest::watchRequest(const QString& path) {
    m_bus.connect(service, path, requestInterface, QStringLiteral("Response"), this,
                  SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
}

void PortalRequest::unwatchRequest(const QString& path) {
    m_bus.disconnect(service, path, requestInterface, QStringLiteral("Response"), this,
                     SLOT(onResponse(uint, QVariantMap, QDBusMessage)));
    m_answers.erase(path);
}

} // namespace parlova::platform
