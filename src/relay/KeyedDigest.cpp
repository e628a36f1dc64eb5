#include "relay/KeyedDigest.h"

#include "relay/DataFolder.h"
#include "relay/Secrets.h"

#include <QFile>
#include <QMessageAuthenticationCode>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parlova::relay {

namespace {

constexpr int keySize = 32;

} // namespace

Started KeyedDigest::load(const QString& path, bool create) {
    // Created 0600 from the start: the key is never readable by others. A
    // link in its place is refused rather than followed.
    int fd = create ? DataFolder::open(path, O_WRONLY | O_CREAT | O_EXCL, 0600) : -1;
    if (!create) {
        if (!QFile::exists(path))
            return QStringLiteral("Clé partagée %1 introuvable : les relais d’une même base "
                                  "lisent tous la même clé. Copiez le dossier des secrets d’un "
                                  "relais de cette base, ou créez-le avec --preparer-secrets.")
                .arg(path);
    } else if (fd >= 0) {
        const QByteArray key = Secrets::randomBytes(keySize);
        const bool written = ::write(fd, key.constData(), keySize) == keySize;
        if (::close(fd) != 0 || !written) {
            ::unlink(QFile::encodeName(path).constData());
            return QStringLiteral("Clé %1 impossible à écrire.").arg(path);
        }
    } else if (errno != EEXIST) {
        return QStringLiteral("Clé %1 impossible à écrire.").arg(path);
    }
    fd = DataFolder::open(path, O_RDONLY);
    if (fd < 0) {
        return QStringLiteral("Clé %1 illisible.").arg(path);
    }
    QByteArray key(4096, '\0');
    const ssize_t size = ::read(fd, key.data(), size_t(key.size()));
    // A copied key may have arrived with loose permissions.
    ::fchmod(fd, 0600);
    ::close(fd);
    if (size < 0) {
        return QStringLiteral("Clé %1 illisible.").arg(path);
    }
    m_key = key.left(size);
    if (m_key.size() != keySize) {
        return QStringLiteral("Clé %1 abîmée (%2 octets au lieu de %3).")
            .arg(path)
            .arg(m_key.size())
            .arg(keySize);
    }
    return Done{};
}

QString KeyedDigest::of(const QString& text) const {
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(text.toUtf8(), m_key, QCryptographicHash::Sha256).toHex());
}

} // namespace parlova::relay
