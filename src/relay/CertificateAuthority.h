#pragma once

#include "relay/Outcome.h"

#include <QString>

namespace parlova::relay {

// The relay's own certificate authority and the server certificate it signs.
//
// Layout of the data folder:
//   autorite/ca.crt, autorite/ca.key   the authority, limited to the loopback
//                                      names (made once and kept, so that
//                                      Parlova's relayCertificate setting can
//                                      name it or another data folder copy it)
//   serveur/serveur.crt, serveur.key   the certificate for 127.0.0.1 and localhost
// Keys are written with mode 0600. The server certificate is made again when
// it is missing, unreadable, close to its end, or not signed by the authority.
class CertificateAuthority {
public:
    explicit CertificateAuthority(QString dataDir);

    // Makes whatever is missing, or says in French why it cannot.
    Started prepare();

    QString authorityCertificatePath() const;
    QString authorityKeyPath() const;
    QString serverCertificatePath() const;
    QString serverKeyPath() const;

private:
    QString m_dataDir;
};

} // namespace parlova::relay
