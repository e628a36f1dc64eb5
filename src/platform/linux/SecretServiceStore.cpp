// glib's headers must come before any Qt header.
#include <libsecret/secret.h>

#include "platform/linux/SecretServiceStore.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace parlova::platform {

namespace {

using core::SecretStore;

using Limits = SecretServiceStore::TimeLimits;

int milliseconds(std::chrono::milliseconds duration) {
    return static_cast<int>(duration.count());
}

constexpr const char* secretsBusName = "org.freedesktop.secrets";

// Items are matched on "service" and "account" alone, whoever created them,
// so the schema name is not part of the search.
const SecretSchema* schema() {
    static const SecretSchema value = {
        .name = "org.freedesktop.Secret.Generic",
        .flags = SECRET_SCHEMA_DONT_MATCH_NAME,
        .attributes = {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        .reserved = 0,
        .reserved1 = nullptr,
        .reserved2 = nullptr,
        .reserved3 = nullptr,
        .reserved4 = nullptr,
        .reserved5 = nullptr,
        .reserved6 = nullptr,
        .reserved7 = nullptr,
    };
    return &value;
}

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
struct ObjectListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};

using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using ServicePtr = std::unique_ptr<SecretService, ObjectUnref>;
using ConnectionPtr = std::unique_ptr<GDBusConnection, ObjectUnref>;
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;
using AttributesPtr = std::unique_ptr<GHashTable, HashTableUnref>;
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;
using ItemListPtr = std::unique_ptr<GList, ObjectListFree>;

// GError out-parameter that ends up owned.
class ErrorSlot {
public:
    GError** out() { return &m_raw; }
    ErrorPtr take() { return ErrorPtr(std::exchange(m_raw, nullptr)); }
    ~ErrorSlot() {
        if (m_raw)
            g_error_free(m_raw);
    }

private:
    GError* m_raw = nullptr;
};

// A cancellable that cancels itself when the time is up, for the calls that
// take no time limit of their own (connecting to the bus, opening the
// service proxy).
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds limit)
        : m_watch([this, limit] {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_for(lock, limit, [this] { return m_finished; }))
                g_cancellable_cancel(m_cancellable.get());
        }) {}
    ~Deadline() {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_wake.notify_all();
        m_watch.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    GCancellable* cancellable() const { return m_cancellable.get(); }

private:
    const std::unique_ptr<GCancellable, ObjectUnref> m_cancellable{g_cancellable_new()};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_finished = false;
    std::thread m_watch; // last: it uses everything above
};

bool isUnreachable(const GError* error) {
    if (error->domain == G_IO_ERROR)
        return error->code != G_IO_ERROR_FAILED;
    if (error->domain != G_DBUS_ERROR)
        return false;
    switch (error->code) {
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
    case G_DBUS_ERROR_NO_REPLY:
    case G_DBUS_ERROR_TIMEOUT:
    case G_DBUS_ERROR_TIMED_OUT:
    case G_DBUS_ERROR_NO_SERVER:
    case G_DBUS_ERROR_NO_NETWORK:
    case G_DBUS_ERROR_DISCONNECTED:
    case G_DBUS_ERROR_FILE_NOT_FOUND:
    case G_DBUS_ERROR_BAD_ADDRESS:
    case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
    case G_DBUS_ERROR_SPAWN_FORK_FAILED:
    case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
    case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
    case G_DBUS_ERROR_SPAWN_FAILED:
    case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
    case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
    case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
    case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
    case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
    case G_DBUS_ERROR_SPAWN_FILE_INVALID:
    case G_DBUS_ERROR_SPAWN_NO_MEMORY:
        return true;
    default:
        return false;
    }
}

// libsecret reports a prompt that the user dismissed as a failure that
// carries no error at all.
qint32 statusOf(const GError* error) {
    if (!error)
        return SecretStore::promptDismissed;
    if (error->domain == SECRET_ERROR) {
        switch (error->code) {
        case SECRET_ERROR_IS_LOCKED:
            return SecretStore::collectionLocked;
        case SECRET_ERROR_NO_SUCH_OBJECT:
            return SecretStore::itemNotFound;
        default:
            return SecretStore::serviceFailure;
        }
    }
    return isUnreachable(error) ? SecretStore::serviceUnavailable : SecretStore::serviceFailure;
}

// Without an address, GDBus would try to autolaunch a bus through X11, which
// can hang or leave a stray daemon behind; only the addresses a session
// really advertises are used.
bool sessionBusAdvertised() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

VariantPtr busCall(GDBusConnection* bus, const char* method, GVariant* parameters,
                   const GVariantType* replyType, int timeoutMs, ErrorSlot& error) {
    return VariantPtr(g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
        parameters, replyType, G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, error.out()));
}

// Makes sure someone owns the Secret Service name, starting an activatable
// service if needed, with short time limits.
qint32 ensureServiceRunning(const Limits& limits) {
    if (!sessionBusAdvertised())
        return SecretStore::serviceUnavailable;

    ErrorSlot error;
    const Deadline deadline(limits.busConnect);
    const ConnectionPtr bus(
        g_bus_get_sync(G_BUS_TYPE_SESSION, deadline.cancellable(), error.out()));
    if (!bus)
        return SecretStore::serviceUnavailable;
    // The shared connection would end the whole process when the bus goes away.
    g_dbus_connection_set_exit_on_close(bus.get(), FALSE);

    const VariantPtr owned =
        busCall(bus.get(), "NameHasOwner", g_variant_new("(s)", secretsBusName),
                G_VARIANT_TYPE("(b)"), milliseconds(limits.busCall), error);
    if (!owned)
        return SecretStore::serviceUnavailable;
    gboolean hasOwner = FALSE;
    g_variant_get(owned.get(), "(b)", &hasOwner);
    if (hasOwner)
        return SecretStore::success;

    const VariantPtr started =
        busCall(bus.get(), "StartServiceByName", g_variant_new("(su)", secretsBusName, 0u),
                G_VARIANT_TYPE("(u)"), milliseconds(limits.activation), error);
    return started ? SecretStore::success : SecretStore::serviceUnavailable;
}

// The service, or the status that kept it away.
using Connection = core::Result<ServicePtr, qint32>;

Connection connectToService(const Limits& limits) {
    if (const qint32 status = ensureServiceRunning(limits); status != SecretStore::success)
        return status;
    ErrorSlot error;
    const Deadline deadline(limits.serviceConnect);
    ServicePtr service(
        secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, deadline.cancellable(), error.out()));
    if (!service)
        return statusOf(error.take().get());
    g_dbus_proxy_set_default_timeout(G_DBUS_PROXY(service.get()), milliseconds(limits.serviceCall));
    return service;
}

AttributesPtr attributes(const QString& service, const QString& account) {
    AttributesPtr table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(service.toUtf8().constData()));
    g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(account.toUtf8().constData()));
    return table;
}

// The matching items, never none (itemNotFound then), or the status of the
// failed search.
using Search = core::Result<ItemListPtr, qint32>;

// Every item with the given service and account, locked or not.
Search search(SecretService* secrets, const QString& service, const QString& account,
              int callTimeoutMs) {
    ErrorSlot error;
    const AttributesPtr query = attributes(service, account);
    ItemListPtr items(secret_service_search_sync(secrets, schema(), query.get(), SECRET_SEARCH_ALL,
                                                 nullptr, error.out()));
    if (const ErrorPtr failure = error.take())
        return statusOf(failure.get());
    if (!items)
        return SecretStore::itemNotFound;
    for (GList* node = items.get(); node; node = node->next)
        g_dbus_proxy_set_default_timeout(G_DBUS_PROXY(node->data), callTimeoutMs);
    return items;
}

// Asks the service to unlock a locked item; this is where its password
// prompt appears.
qint32 unlock(SecretService* secrets, SecretItem* item) {
    if (!secret_item_get_locked(item))
        return SecretStore::success;
    ErrorSlot error;
    GList single = {item, nullptr, nullptr};
    const gint unlocked =
        secret_service_unlock_sync(secrets, &single, nullptr, nullptr, error.out());
    if (const ErrorPtr failure = error.take())
        return statusOf(failure.get());
    return unlocked > 0 ? SecretStore::success : SecretStore::promptDismissed;
}

ValuePtr secretValue(const QByteArray& bytes) {
    return ValuePtr(secret_value_new(bytes.constData(), bytes.size(), "text/plain"));
}

// Runs one call on every matching item, stopping at the first failure.
template <typename Call>
qint32 forEachItem(const Limits& limits, const QString& service, const QString& account,
                   Call call) {
    const Connection connection = connectToService(limits);
    if (!connection)
        return connection.error();
    const Search found =
        search(connection->get(), service, account, milliseconds(limits.serviceCall));
    if (!found)
        return found.error();
    for (GList* node = found->get(); node; node = node->next) {
        auto* item = static_cast<SecretItem*>(node->data);
        qint32 status = unlock(connection->get(), item);
        if (status == SecretStore::success) {
            ErrorSlot error;
            if (!call(item, error.out()))
                status = statusOf(error.take().get());
        }
        if (status != SecretStore::success)
            return status;
    }
    return SecretStore::success;
}

} // namespace

SecretServiceStore::SecretServiceStore()
    : SecretServiceStore(TimeLimits{}) {}

SecretStore::Found SecretServiceStore::find(const QString& service, const QString& account) {
    const Connection connection = connectToService(m_limits);
    if (!connection)
        return connection.error();
    const Search found =
        search(connection->get(), service, account, milliseconds(m_limits.serviceCall));
    if (!found)
        return found.error();

    // An unlocked match needs no prompt; take it when there is one.
    auto* item = static_cast<SecretItem*>((*found)->data);
    for (GList* node = found->get(); node; node = node->next) {
        if (!secret_item_get_locked(static_cast<SecretItem*>(node->data))) {
            item = static_cast<SecretItem*>(node->data);
            break;
        }
    }
    if (const qint32 status = unlock(connection->get(), item); status != success)
        return status;

    ErrorSlot error;
    if (!secret_item_load_secret_sync(item, nullptr, error.out()))
        return statusOf(error.take().get());
    const ValuePtr value(secret_item_get_secret(item));
    if (!value)
        return std::optional<QByteArray>();
    gsize length = 0;
    const gchar* data = secret_value_get(value.get(), &length);
    return std::optional<QByteArray>(QByteArray(data, static_cast<qsizetype>(length)));
}

qint32 SecretServiceStore::update(const QString& service, const QString& account,
                                  const QByteArray& value) {
    const ValuePtr secret = secretValue(value);
    return forEachItem(m_limits, service, account, [&secret](SecretItem* item, GError** error) {
        return secret_item_set_secret_sync(item, secret.get(), nullptr, error) != FALSE;
    });
}

qint32 SecretServiceStore::add(const QString& service, const QString& account, const QString& label,
                               const QByteArray& value) {
    const Connection connection = connectToService(m_limits);
    if (!connection)
        return connection.error();
    const AttributesPtr fields = attributes(service, account);
    const ValuePtr secret = secretValue(value);
    ErrorSlot error;
    if (!secret_service_store_sync(connection->get(), schema(), fields.get(),
                                   SECRET_COLLECTION_DEFAULT, label.toUtf8().constData(),
                                   secret.get(), nullptr, error.out()))
        return statusOf(error.take().get());
    return success;
}

qint32 SecretServiceStore::remove(const QString& service, const QString& account) {
    return forEachItem(m_limits, service, account, [](SecretItem* item, GError** error) {
        return secret_item_delete_sync(item, nullptr, error) != FALSE;
    });
}

} // namespace parlova::platform
