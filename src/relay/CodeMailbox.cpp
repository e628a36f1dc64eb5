#include "relay/CodeMailbox.h"

#include "relay/Log.h"
#include "relay/ParisWeek.h"

namespace parlova::relay {

CodeMailbox::CodeMailbox(bool remember)
    : m_remember(remember) {}

void CodeMailbox::deliver(const QString& email, const QString& code, qint64 validUntil) {
    Log::line(QStringLiteral("Code de connexion pour %1 : %2 (valable jusqu’à %3)")
                  .arg(email, code, ParisWeek::isoDate(validUntil)));
    if (m_remember) {
        const std::lock_guard lock(m_mutex);
        m_codes.insert(email, code);
    }
}

std::optional<QString> CodeMailbox::lastCode(const QString& email) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_codes.constFind(email);
    if (found == m_codes.cend())
        return std::nullopt;
    return *found;
}

} // namespace parlova::relay
