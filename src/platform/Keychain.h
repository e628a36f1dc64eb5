#pragma once

#include "core/SecretStore.h"

namespace parlova::platform {

// The user's keychain on this platform, for the session controller and the
// command line. Tests hand their own SecretStore to the code under test.
class Keychain {
public:
    static core::SecretStore& system();
};

} // namespace parlova::platform
