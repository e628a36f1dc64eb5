#include "relay/Secrets.h"

#include <QCryptographicHash>

#include <openssl/rand.h>

#include <stdexcept>

namespace parlova::relay {

QByteArray Secrets::randomBytes(int count) {
    QByteArray bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1)
        throw std::runtime_error("RAND_bytes a échoué");
    return bytes;
}

QString Secrets::randomFrom(QStringView alphabet, int count) {
    // Rejection sampling keeps every character equally likely.
    const int size = int(alphabet.size());
    const int limit = 256 - 256 % size;
    QString out;
    while (out.size() < count) {
        for (const char byte : randomBytes(count * 2)) {
            const int value = static_cast<unsigned char>(byte);
            if (value >= limit)
                continue;
            out.append(alphabet[value % size]);
            if (out.size() == count)
                break;
        }
    }
    return out;
}

QString Secrets::randomDigits(int count) {
    return randomFrom(u"0123456789", count);
}

QString Secrets::newToken() {
    return QString::fromLatin1(
        randomBytes(32).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString Secrets::sha256(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

} // namespace parlova::relay
