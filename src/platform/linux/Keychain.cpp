// glib's headers must come before any Qt header.
#include <glib.h>

#include "platform/Keychain.h"

#include "platform/linux/SecretServiceStore.h"

namespace parlova::platform {

core::SecretStore& Keychain::system() {
    static SecretServiceStore store;
    return store;
}

void Keychain::silenceDiagnostics() {
    // GLib writes some levels to standard output, others to standard error,
    // and G_MESSAGES_DEBUG can turn on more: none of it is for the user.
    g_log_set_writer_func(
        [](GLogLevelFlags, const GLogField*, gsize, gpointer) { return G_LOG_WRITER_HANDLED; },
        nullptr, nullptr);
}

} // namespace parlova::platform
