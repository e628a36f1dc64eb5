#pragma once

#include "core/SecretStore.h"

#include <QString>
#include <QtGlobal>

#include <utility>

namespace parlova::core {

// One generic-password item of the keychain, named by its service and
// account. The label is what keychain managers show; it is written when the
// item is created and never touched afterwards.
class KeychainItem {
public:
    // The outcome of read().
    class Lookup {
    public:
        enum class Kind {
            found,      // the item holds a usable value; value() is it, trimmed
            unreadable, // the keychain failed; status() says how
            missing,    // no item, or one whose value is empty or not text
        };

        // Missing; awaiting helpers need a default value.
        Lookup() = default;

        static Lookup found(const QString& value) { return Lookup(Kind::found, value, 0); }
        static Lookup unreadable(qint32 status) { return Lookup(Kind::unreadable, {}, status); }
        static Lookup missing() { return Lookup(Kind::missing, {}, 0); }

        Kind kind() const { return m_kind; }
        bool isFound() const { return m_kind == Kind::found; }
        // The trimmed value of a found item; empty for the other kinds.
        const QString& value() const { return m_value; }
        // The keychain status of an unreadable item; 0 for the other kinds.
        qint32 status() const { return m_status; }

        friend bool operator==(const Lookup&, const Lookup&) = default;

    private:
        Lookup(Kind kind, QString value, qint32 status)
            : m_kind(kind)
            , m_value(std::move(value))
            , m_status(status) {}

        Kind m_kind = Kind::missing;
        QString m_value;
        qint32 m_status = 0;
    };

    KeychainItem(QString service, QString account, QString label)
        : m_service(std::move(service))
        , m_account(std::move(account))
        , m_label(std::move(label)) {}

    // The relay session token.
    static KeychainItem session();
    // A shared relay key left behind by an early demonstration build; only
    // ever deleted, on request.
    static KeychainItem legacyRelayKey();

    const QString& service() const { return m_service; }
    const QString& account() const { return m_account; }
    const QString& label() const { return m_label; }

    Lookup read(SecretStore& keychain) const;
    // Stores the UTF-8 bytes of the value as given (not trimmed) and returns
    // the status of the last keychain call made.
    qint32 store(SecretStore& keychain, const QString& value) const;
    // SecretStore::itemNotFound when there was nothing to delete.
    qint32 remove(SecretStore& keychain) const;

    friend bool operator==(const KeychainItem&, const KeychainItem&) = default;

private:
    QString m_service;
    QString m_account;
    QString m_label;
};

} // namespace parlova::core
