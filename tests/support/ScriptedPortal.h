#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace parlova::test {

// The desktop's portal as a test scripts it, on a bus of the test's own: it
// owns org.freedesktop.portal.Desktop and answers on
// /org/freedesktop/portal/desktop with the request and response objects of
// the real one. It speaks RemoteDesktop (a keyboard only) and
// GlobalShortcuts; every call it receives is recorded in one list, whatever
// its interface; the calls of one method are in calls(method).
//
// Answers are as fast as can be: a request's Response goes out before the
// reply to the call that made it.
class ScriptedPortal final : public QDBusVirtualObject {
    Q_OBJECT

public:
    // The arguments by their documented names; the entries of an options
    // vardict stand among them, object paths as strings.
    struct Call {
        QString method;
        QVariantMap arguments;
        // The object called: a request's or a session's for their Close.
        QString path;
    };

    // On a connection of its own: the program reaches it from another one.
    explicit ScriptedPortal(QDBusConnection bus, QObject* parent = nullptr);
    ~ScriptedPortal() override;

    // It owns the portal's name and object on the bus.
    bool registered() const { return m_registered; }

    // How the user answers the dialogs from now on: 0 grants, 1 refuses;
    // none leaves the dialog open and its request unanswered.
    void setUserAnswer(std::optional<uint> code) { m_userAnswer = code; }
    // The desktop ends every open session (from its own indicator).
    void closeSessions();

    QList<Call> calls(const QString& method) const;
    // How many dialogs the user was shown. A session restored from a valid
    // token shows none.
    int questions() const { return m_questions; }
    // The restore tokens given out, oldest first.
    const QStringList& issuedTokens() const { return m_issued; }

    // GlobalShortcuts: the trigger the desktop reports for every shortcut
    // bound from now on (empty: it refused the one proposed).
    void setBoundTrigger(const QString& trigger) { m_boundTrigger = trigger; }
    // The user presses or releases the bound shortcut (desktop's stamp, ms).
    void activate(const QString& id, quint64 milliseconds) {
        emitShortcutSignal(QStringLiteral("Activated"), {id, milliseconds, QVariantMap()});
    }
    void deactivate(const QString& id, quint64 milliseconds) {
        emitShortcutSignal(QStringLiteral("Deactivated"), {id, milliseconds, QVariantMap()});
    }
    // The user picked another trigger in the desktop's settings.
    void changeTrigger(const QString& id, const QString& trigger);
    // The portal leaves the bus, as when its process ends.
    void leave();

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    struct Session {
        QString owner;
        uint types = 0;
        uint persistMode = 0;
        bool restored = false;
        bool started = false;
    };

    void remoteDesktop(const QDBusMessage& message, const QVariantMap& arguments, Session& open);
    void emitShortcutSignal(const QString& name, const QVariantList& arguments);
    // Replies with the request's path, after its Response if there is one.
    void answer(const QDBusMessage& message, const QVariantMap& arguments, std::optional<uint> code,
                const QVariantMap& results = {});
    QString handle(const QString& kind, const QDBusMessage& message, const QString& token);

    QDBusConnection m_bus;
    bool m_registered = false;
    std::optional<uint> m_userAnswer = 0;
    QMap<QString, Session> m_sessions;
    QStringList m_validTokens;
    QStringList m_issued;
    QList<Call> m_calls;
    QString m_boundTrigger = QStringLiteral("Ctrl droite");
    int m_questions = 0;
    int m_handles = 0;
};

} // namespace parlova::test
