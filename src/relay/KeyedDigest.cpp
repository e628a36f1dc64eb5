#include "relay/KeyedDigest.h"

#include "relay/Secrets.h"

#include <QFile>
#include <QMessageAuthenticationCode>

#include <fcntl.h>
#include <unistd.h>

namespace parlova::relay {

namespace {

constexpr int keySize = 32;

} // namespace

bool KeyedDigest::load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.exists()) {
        // Created 0600 from the start: the key is never readable by others.
        const QByteArray key = Secrets::randomBytes(keySize);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const bool written = fd >= 0 && ::write(fd, key.constData(), keySize) == keySize;
        if (fd >= 0 && ::close(fd) != 0) {
            *error = QStringLiteral("Clé %1 impossible à écrire.").arg(path);
            return false;
        }
        if (!written) {
            QFile::remove(path);
            *error = QStringLiteral("Clé %1 impossible à écrire.").arg(path);
            return false;
        }
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Clé %1 illisible.").arg(path);
        return false;
    }
    m_key = file.readAll();
    if (m_key.size() != keySize) {
        *error = QStringLiteral("Clé %1 abîmée (%2 octets au lieu de %3).")
                     .arg(path)
                     .arg(m_key.size())
                     .arg(keySize);
        return false;
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString KeyedDigest::of(const QString& text) const {
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(text.toUtf8(), m_key, QCryptographicHash::Sha256).toHex());
}

} // namespace parlova::relay
