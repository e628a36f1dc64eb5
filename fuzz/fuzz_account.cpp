// The account as the relay sends it: whole bodies and the week of a dictation.
#include "FuzzInput.h"

#include "core/domain/Account.h"
#include "protocol/AccountCodec.h"
#include "protocol/WeekCodec.h"

using namespace parlova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = fuzz::bytes(data, size);
    const auto account = core::Account::fromJson(input);
    if (account) {
        // Whatever gets through is a coherent offer.
        const auto kind = account->offer.kind();
        FUZZ_CHECK(kind != core::Account::Offer::Kind::free ||
                   (account->week.limit && account->week.remaining));
        FUZZ_CHECK(kind == core::Account::Offer::Kind::free ||
                   kind == core::Account::Offer::Kind::pro || account->offer.until());
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1767225600, Qt::UTC);
        (void)account->offerLine();
        (void)account->isAtLimit(now);
        (void)account->weekHasEnded(now);
        (void)account->offeredProKept(now);
        core::Account copy = *account;
        if (account->offer.kind() == core::Account::Offer::Kind::free)
            FUZZ_CHECK(copy.update(account->week));
        if (copy.update(account->week))
            FUZZ_CHECK(copy == *account);
    } else {
        FUZZ_CHECK(!account.error().text().isEmpty());
    }
    if (const auto root = core::RelayJSON::parse(input)) {
        core::RelayJSON::Reader reader(*root);
        const core::Account::Week week = protocol::WeekCodec::read(reader);
        (void)week;
        (void)protocol::AccountCodec::readLinks(*root);
    }
    return 0;
}
