#pragma once

#include <QHash>
#include <QString>

#include <mutex>
#include <optional>

namespace parlova::relay {

// Where sign-in codes go instead of an e-mail: the relay's journal, and,
// when the control routes are on, a memory that the tests read back.
class CodeMailbox {
public:
    explicit CodeMailbox(bool remember);

    void deliver(const QString& email, const QString& code, qint64 validUntil);

    // The last code sent to the address (only when remembering).
    std::optional<QString> lastCode(const QString& email) const;

private:
    const bool m_remember;
    mutable std::mutex m_mutex;
    QHash<QString, QString> m_codes;
};

} // namespace parlova::relay
