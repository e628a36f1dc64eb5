#pragma once

#include "core/Result.h"
#include "core/settings/ParlovaSettings.h"

#include <QList>
#include <QSettings>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <memory>

namespace parlova::core {

// The user's preferences: the hold key and the dictation language, which the
// program writes, and "relayURL" and "relayCertificate", set by hand (or by
// the set-up scripts) and never written here. Copies share the same preferences.
class SettingsStore {
public:
    // The user's own preferences file (see defaultFilePath()).
    SettingsStore();
    // Preferences kept in the given settings object (tests use a temporary file).
    explicit SettingsStore(std::shared_ptr<QSettings> settings);

    // $XDG_CONFIG_HOME/parlova/parlova.conf, usually ~/.config/parlova/parlova.conf.
    static QString defaultFilePath();

    // The relay the program talks to when nothing overrides it.
    static const QUrl& productionRelayOrigin();

    ParlovaSettings load() const;

    // Why the preferences could not be written.
    enum class Error {
        notWritten, // the file or its folder could not be written
        malformed,  // the file on disk could not be read back
    };
    static QString message(Error error);

    // Writes "holdKey" then "language" as their raw values, nothing else, and
    // flushes them to disk.
    Done<Error> save(const ParlovaSettings& settings);

    // The HTTPS origin (scheme, host, optional port) of the relay, read afresh
    // at each call so that an edited "relayURL" applies to the next relay call.
    // An override that is not an https URL with a host is ignored.
    QUrl relayOrigin() const;

    // "relayCertificate": the path of a PEM file of certificate authorities
    // trusted, besides the system's, for the relay origin only (a private
    // relay, the local one). Empty when unset. Read afresh at each call.
    QString relayCertificate() const;
    // The authorities of that file; none when it is unset, missing or holds
    // no certificate (the relay must then satisfy the system store).
    QList<QSslCertificate> relayAuthorities() const;

private:
    std::shared_ptr<QSettings> m_settings;
};

} // namespace parlova::core
