#include "relay/Terms.h"

#include <array>
#include <utility>

namespace parlova::relay {

namespace {

template <typename Enum, size_t N>
QString find(const std::array<std::pair<Enum, const char16_t*>, N>& table, Enum value) {
    for (const auto& [known, text] : table)
        if (known == value)
            return QString::fromUtf16(text);
    return {};
}

template <typename Enum, size_t N>
std::optional<Enum> find(const std::array<std::pair<Enum, const char16_t*>, N>& table,
                         QStringView text) {
    for (const auto& [known, word] : table)
        if (text == QStringView(word))
            return known;
    return std::nullopt;
}

constexpr std::array<std::pair<Period, const char16_t*>, 2> periods = {
    {{Period::Monthly, u"mensuel"}, {Period::Yearly, u"annuel"}}};
constexpr std::array<std::pair<SubscriptionStatus, const char16_t*>, 3> statuses = {
    {{SubscriptionStatus::Active, u"active"},
     {SubscriptionStatus::Trialing, u"trialing"},
     {SubscriptionStatus::PastDue, u"past_due"}}};
constexpr std::array<std::pair<Offer, const char16_t*>, 4> offers = {{{Offer::Free, u"gratuit"},
                                                                      {Offer::Trial, u"essai"},
                                                                      {Offer::Gifted, u"offert"},
                                                                      {Offer::Pro, u"pro"}}};

} // namespace

QString Terms::text(Period period) {
    return find(periods, period);
}
QString Terms::text(SubscriptionStatus status) {
    return find(statuses, status);
}
QString Terms::text(Offer offer) {
    return find(offers, offer);
}
std::optional<Period> Terms::period(QStringView text) {
    return find(periods, text);
}
std::optional<SubscriptionStatus> Terms::status(QStringView text) {
    return find(statuses, text);
}
std::optional<Offer> Terms::offer(QStringView text) {
    return find(offers, text);
}

} // namespace parlova::relay
