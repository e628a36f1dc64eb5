#pragma once

#include "core/Result.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <QCoro/QCoroTask>

#include <chrono>
#include <map>
#include <optional>

namespace parlova::platform {

// The requests made to one interface of the desktop's portals
// (org.freedesktop.portal.Desktop), with the two patterns every portal
// shares: a call answered later by the Response signal of a request object,
// and a session that the desktop may close on its own.
class PortalRequest final : public QObject {
    Q_OBJECT

public:
    // Where every portal lives on the session bus.
    inline static const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    inline static const QString objectPath = QStringLiteral("/org/freedesktop/portal/desktop");
    // The outcome of one request, as its Response signal gives it.
    struct Answer {
        static constexpr uint granted = 0;
        static constexpr uint refused = 1;
        // Anything else: the portal's own "other" code, a call it rejected,
        // no answer in time.
        static constexpr uint failed = 2;

        uint code = failed;
        QVariantMap results;
    };

    // Why a property could not be read.
    enum class Error {
        noPortal, // the desktop has no such portal, or it did not answer
    };
    static QString message(Error error);

    PortalRequest(QDBusConnection bus, QString interface, QObject* parent = nullptr);

    const QDBusConnection& bus() const { return m_bus; }

    // A method of this interface, for the calls that need no request object.
    QDBusMessage call(const QString& method, const QVariantList& arguments) const;
    // A property of this interface.
    QCoro::Task<core::Result<QVariant, Error>> property(QString name);

    // Calls `method` with `options` (a handle token added) as its last
    // argument and waits for its Response, at most `timeout`, after which
    // the request is closed so that no dialog stays behind.
    QCoro::Task<Answer> request(QString method, QVariantList arguments, QVariantMap options,
                                std::chrono::milliseconds timeout);
    // CreateSession. When it is granted, sessionOf() gives the session's
    // object path, and its closing by the desktop is reported by
    // sessionClosed().
    QCoro::Task<Answer> createSession(std::chrono::milliseconds timeout);
    // Empty when the answer holds none.
    static QString sessionOf(const Answer& created);
    void closeSession(const QString& session);
    // Stops watching a session that ended without us, when the portal left
    // the bus: a Close sent then would only start a new portal process.
    void forgetSession(const QString& session);

Q_SIGNALS:
    void answered();
    // The desktop closed a session of ours (not closeSession()).
    void sessionClosed(QString session);

private Q_SLOTS:
    void onResponse(uint code, const QVariantMap& results, const QDBusMessage& message);
    void onClosed(const QDBusMessage& message);

private:
    QString nextToken();
    QString handlePath(const QString& kind, const QString& token) const;
    void watchRequest(const QString& path);
    void unwatchRequest(const QString& path);

    QDBusConnection m_bus;
    const QString m_interface;
    // Answers kept from the moment they arrive: a request can be answered
    // before the reply to the call that made it comes in.
    std::map<QString, Answer> m_answers;
    unsigned m_requests = 0;
};

} // namespace parlova::platform
