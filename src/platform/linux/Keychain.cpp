#include "platform/Keychain.h"

#include "platform/linux/SecretServiceStore.h"

namespace parlova::platform {

core::SecretStore& Keychain::system() {
    static SecretServiceStore store;
    return store;
}

} // namespace parlova::platform
