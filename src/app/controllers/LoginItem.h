#pragma once

#include "core/Result.h"

#include <QString>

namespace parlova::app {

// Opening Parlova with the session, through XDG autostart: the program's
// autostart entry in $XDG_CONFIG_HOME/autostart. The states are those a
// login item may have anywhere; this desktop never asks for an approval.
class LoginItem {
public:
    enum class Status { notRegistered, enabled, requiresApproval, notFound };

    // In the user's autostart folder.
    LoginItem();
    // In another folder (tests).
    explicit LoginItem(QString folder);

    static QString defaultFolder();
    QString entryPath() const;

    // Enabled when the entry is there and not turned off by its own keys
    // ("Hidden=true", "X-GNOME-Autostart-enabled=false").
    Status status() const;
    // Why the desktop will not do as asked.
    enum class Error {
        notRemoved, // the entry is there and stays
        notWritten, // the entry or its folder could not be written
    };
    static QString message(Error error);

    // Writes or removes the entry; succeeds when the desktop will do as asked.
    core::Done<Error> setEnabled(bool enabled);

private:
    QString m_folder;
};

} // namespace parlova::app
