#pragma once

#include "core/keychain/SecretStore.h"

namespace parlova::platform {

// The user's keychain on this platform, for the session controller and the
// command line. Tests hand their own SecretStore to the code under test.
class Keychain {
public:
    static core::SecretStore& system();
    // Keeps the keychain libraries' own diagnostics off the terminal, for the
    // command line, whose output is its own lines only. Call once, first.
    static void silenceDiagnostics();
};

} // namespace parlova::platform
