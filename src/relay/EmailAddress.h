#pragma once

#include <QString>

#include <optional>

namespace parlova::relay {

// The e-mail addresses that accounts are keyed by.
class EmailAddress {
public:
    EmailAddress() = delete;

    // The address in its stored form (surrounding blanks removed, lower case),
    // or none when it cannot be an address that mail reaches: one "@", a
    // plain local part, a domain of at least two labels. Internationalised
    // addresses are not accepted.
    static std::optional<QString> normalized(const QString& text);

    // The mailbox that a normalised address delivers to, for the rules that
    // count a person once: "local+tag@domain" is "local@domain".
    static QString mailbox(const QString& address);
};

} // namespace parlova::relay
