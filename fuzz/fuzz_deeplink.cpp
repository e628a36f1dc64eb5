// Links of the program's own scheme, as a browser or a mail reader hands them over.
#include "FuzzInput.h"

#include "core/domain/DeepLink.h"
#include "core/domain/ReferralCode.h"

#include <QUrl>

using namespace parlova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::text(fuzz::bytes(data, size));
    for (const auto mode : {QUrl::TolerantMode, QUrl::StrictMode}) {
        const auto link = core::DeepLink::fromUrl(QUrl(text, mode));
        if (link && link->kind() == core::DeepLink::Kind::referral)
            FUZZ_CHECK(core::ReferralCode::normalized(link->code()) == link->code());
        if (link && link->kind() == core::DeepLink::Kind::account)
            FUZZ_CHECK(link->code().isEmpty());
    }
    return 0;
}
