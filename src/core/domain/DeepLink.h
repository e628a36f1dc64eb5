#pragma once

#include <QLatin1StringView>
#include <QString>

#include <optional>

class QUrl;

namespace parlova::core {

// A link of the program's own URL scheme, as a web page or an e-mail opens it:
// "parlova://compte" for the account, "parlova://parrainage/<code>" for an
// invitation carrying a friend's referral code.
class DeepLink {
public:
    enum class Kind { referral, account };

    static constexpr QLatin1StringView scheme{"parlova"};

    // code must already be a normalised referral code.
    static DeepLink referral(const QString& code) { return DeepLink(Kind::referral, code); }
    static DeepLink account() { return DeepLink(Kind::account, {}); }

    // Strict: anything other than the two shapes gives none. Scheme and host
    // are compared without regard to case; empty path pieces do not count;
    // query, fragment, user name and port play no part.
    static std::optional<DeepLink> fromUrl(const QUrl& url);

    Kind kind() const { return m_kind; }
    // The referral code; empty for the account link.
    const QString& code() const { return m_code; }

    friend bool operator==(const DeepLink&, const DeepLink&) = default;

private:
    DeepLink(Kind kind, const QString& code)
        : m_kind(kind)
        , m_code(code) {}

    Kind m_kind;
    QString m_code;
};

} // namespace parlova::core
