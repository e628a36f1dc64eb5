// Referral and sign-in codes as typed or pasted.
#include "FuzzInput.h"

#include "core/domain/ReferralCode.h"
#include "core/domain/SignInCode.h"

using namespace parlova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::text(fuzz::bytes(data, size));

    if (const auto code = core::ReferralCode::normalized(text)) {
        FUZZ_CHECK(code->size() == core::ReferralCode::length);
        FUZZ_CHECK(core::ReferralCode::normalized(*code) == *code);
    }

    const QString digits = core::SignInCode::digits(text);
    FUZZ_CHECK(digits.size() <= core::SignInCode::length);
    FUZZ_CHECK(core::SignInCode::digits(digits) == digits);
    FUZZ_CHECK(core::SignInCode::isComplete(digits) == (digits.size() == core::SignInCode::length));
    return 0;
}
