#include "relay/CertificateAuthority.h"

#include "relay/DataFolder.h"

#include <QDir>
#include <QFile>

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace parlova::relay {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;
using File = std::unique_ptr<FILE, FileClose>;

constexpr long day = 24L * 3600L;

Key newKey() {
    return Key(EVP_EC_gen("P-256"));
}

// Reading never follows a link planted in the data folder.
FILE* openForReading(const QString& path) {
    const int fd = DataFolder::open(path, O_RDONLY);
    if (fd < 0)
        return nullptr;
    FILE* file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

Key readKey(const QString& path) {
    File file(openForReading(path));
    if (!file)
        return {};
    return Key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
}

Cert readCert(const QString& path) {
    File file(openForReading(path));
    if (!file)
        return {};
    return Cert(PEM_read_X509(file.get(), nullptr, nullptr, nullptr));
}

// Writes through a temporary file renamed into place, so that a crash never
// leaves half a key behind.
bool writePem(const QString& path, mode_t mode, const auto& write) {
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".tmp"));
    const int fd =
        DataFolder::open(QFile::decodeName(temporary), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0)
        return false;
    ::fchmod(fd, mode);
    File file(::fdopen(fd, "wb"));
    if (!file) {
        ::close(fd);
        return false;
    }
    const bool written = write(file.get()) == 1;
    if (std::fflush(file.get()) != 0 || ::fsync(fd) != 0 || !written)
        return false;
    file.reset();
    return std::rename(temporary.constData(), QFile::encodeName(path).constData()) == 0;
}

// The key first: a certificate is only ever there with its key.
bool save(EVP_PKEY* key, X509* cert, const QString& keyPath, const QString& certPath) {
    return writePem(keyPath, 0600,
                    [&](FILE* f) {
                        return PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
                    }) &&
           writePem(certPath, 0644, [&](FILE* f) { return PEM_write_X509(f, cert); });
}

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

bool setName(X509_NAME* name, const char* commonName) {
    const auto text = [](const char* s) {
        return reinterpret_cast<const unsigned char*>(s);
    };
    return X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, text("Parlova"), -1, -1, 0) == 1 &&
           X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, text(commonName), -1, -1, 0) == 1;
}

// A certificate with a random serial number, valid from one hour ago (clock
// skew) for the given number of days, without its extensions yet.
Cert newCertificate(EVP_PKEY* key, const char* commonName, long days) {
    Cert cert(X509_new());
    if (!cert || X509_set_version(cert.get(), 2) != 1)
        return {};
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        return {};
    serial[0] &= 0x7f;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet =
        number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get())) != nullptr;
    BN_free(number);
    if (!serialSet || !X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * day) ||
        X509_set_pubkey(cert.get(), key) != 1 ||
        !setName(X509_get_subject_name(cert.get()), commonName))
        return {};
    return cert;
}

// The authority signs for the loopback names only, so that whoever trusts it
// (or steals its key) trusts nothing beyond this machine.
constexpr const char* loopbackOnly =
    "critical,permitted;DNS:localhost,permitted;IP:127.0.0.0/255.0.0.0,"
    "permitted;IP:::1/ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff";

bool isLoopbackOnly(X509* authority) {
    return X509_get_ext_by_NID(authority, NID_name_constraints, -1) >= 0;
}

bool makeAuthority(const QString& certPath, const QString& keyPath) {
    Key key = newKey();
    if (!key)
        return false;
    Cert cert = newCertificate(key.get(), "Autorite locale parlova-relais", 3650);
    if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())) != 1)
        return false;
    X509* self = cert.get();
    if (!addExtension(self, self, NID_basic_constraints, "critical,CA:TRUE,pathlen:0") ||
        !addExtension(self, self, NID_key_usage, "critical,keyCertSign,cRLSign") ||
        !addExtension(self, self, NID_name_constraints, loopbackOnly) ||
        !addExtension(self, self, NID_subject_key_identifier, "hash") ||
        X509_sign(self, key.get(), EVP_sha256()) == 0)
        return false;
    return save(key.get(), self, keyPath, certPath);
}

bool makeServer(X509* authority, EVP_PKEY* authorityKey, const QString& certPath,
                const QString& keyPath) {
    Key key = newKey();
    if (!key)
        return false;
    // 397 days: the longest lifetime that browsers accept for a server certificate.
    Cert cert = newCertificate(key.get(), "127.0.0.1", 397);
    if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(authority)) != 1)
        return false;
    X509* server = cert.get();
    if (!addExtension(server, authority, NID_basic_constraints, "critical,CA:FALSE") ||
        !addExtension(server, authority, NID_key_usage, "critical,digitalSignature") ||
        !addExtension(server, authority, NID_ext_key_usage, "serverAuth") ||
        !addExtension(server, authority, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") ||
        !addExtension(server, authority, NID_subject_key_identifier, "hash") ||
        !addExtension(server, authority, NID_authority_key_identifier, "keyid:always") ||
        X509_sign(server, authorityKey, EVP_sha256()) == 0)
        return false;
    return save(key.get(), server, keyPath, certPath);
}

// The server certificate can be kept: readable with its key, signed by this
// authority, and valid for at least one more week.
bool serverStillGood(X509* authority, const QString& certPath, const QString& keyPath) {
    Cert cert = readCert(certPath);
    Key key = readKey(keyPath);
    if (!cert || !key || X509_check_private_key(cert.get(), key.get()) != 1)
        return false;
    EVP_PKEY* authorityKey = X509_get0_pubkey(authority);
    if (!authorityKey || X509_verify(cert.get(), authorityKey) != 1)
        return false;
    time_t inAWeek = time(nullptr) + 7 * day;
    return X509_cmp_time(X509_get0_notAfter(cert.get()), &inAWeek) > 0;
}

// 0700 when the relay makes it; one that is already there keeps its mode.
bool makeFolder(const QString& path) {
    const auto outcome = DataFolder::prepare(path);
    return outcome == DataFolder::Outcome::Created || outcome == DataFolder::Outcome::Existing;
}

} // namespace

CertificateAuthority::CertificateAuthority(QString dataDir)
    : m_dataDir(std::move(dataDir)) {}

QString CertificateAuthority::authorityCertificatePath() const {
    return m_dataDir + QStringLiteral("/autorite/ca.crt");
}
QString CertificateAuthority::authorityKeyPath() const {
    return m_dataDir + QStringLiteral("/autorite/ca.key");
}
QString CertificateAuthority::serverCertificatePath() const {
    return m_dataDir + QStringLiteral("/serveur/serveur.crt");
}
QString CertificateAuthority::serverKeyPath() const {
    return m_dataDir + QStringLiteral("/serveur/serveur.key");
}

Started CertificateAuthority::prepare() {
    if (!makeFolder(m_dataDir + QStringLiteral("/autorite")) ||
        !makeFolder(m_dataDir + QStringLiteral("/serveur")))
        return QStringLiteral("Impossible de créer les dossiers de certificats dans %1.")
            .arg(m_dataDir);

    const bool certThere = QFile::exists(authorityCertificatePath());
    const bool keyThere = QFile::exists(authorityKeyPath());
    if (certThere != keyThere)
        return QStringLiteral("Autorité incomplète dans %1/autorite : il faut ca.crt et "
                              "ca.key, ou aucun des deux.")
            .arg(m_dataDir);
    // An authority of older relays can sign for any host: it is replaced,
    // and the server certificate with it.
    Cert authority = readCert(authorityCertificatePath());
    const bool unconstrained = authority && !isLoopbackOnly(authority.get());
    if ((!certThere || unconstrained) &&
        !makeAuthority(authorityCertificatePath(), authorityKeyPath()))
        return QStringLiteral("Impossible de créer l’autorité de certification.");

    authority = readCert(authorityCertificatePath());
    Key authorityKey = readKey(authorityKeyPath());
    if (!authority || !authorityKey ||
        X509_check_private_key(authority.get(), authorityKey.get()) != 1)
        return QStringLiteral("Autorité illisible : %1 et sa clé ne vont pas ensemble.")
            .arg(authorityCertificatePath());
    // A copied key may have arrived with loose permissions.
    if (const int fd = DataFolder::open(authorityKeyPath(), O_RDONLY); fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }

    if (!serverStillGood(authority.get(), serverCertificatePath(), serverKeyPath()) &&
        !makeServer(authority.get(), authorityKey.get(), serverCertificatePath(), serverKeyPath()))
        return QStringLiteral("Impossible de créer le certificat du serveur.");
    return Done{};
}

} // namespace parlova::relay
