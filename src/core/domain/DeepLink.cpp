#include "core/domain/DeepLink.h"

#include "core/domain/ReferralCode.h"

#include <QUrl>

namespace parlova::core {

namespace {

constexpr QLatin1StringView accountHost{"compte"};
constexpr QLatin1StringView referralHost{"parrainage"};

} // namespace

std::optional<DeepLink> DeepLink::fromUrl(const QUrl& url) {
    if (!url.isValid() || url.scheme().toLower() != scheme)
        return std::nullopt;

    const QString host = url.host(QUrl::FullyDecoded).toLower();
    if (host.isEmpty())
        return std::nullopt;

    const QStringList pieces = url.path(QUrl::FullyDecoded).split(u'/', Qt::SkipEmptyParts);

    if (host == accountHost && pieces.isEmpty())
        return account();

    if (host == referralHost && pieces.size() == 1) {
        if (const auto code = ReferralCode::normalized(pieces.front()))
            return referral(*code);
    }
    return std::nullopt;
}

} // namespace parlova::core
