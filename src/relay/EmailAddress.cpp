#include "relay/EmailAddress.h"

#include <QStringList>

namespace parlova::relay {

namespace {

bool isAsciiAlnum(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

bool validLocal(const QString& local) {
    static const QString allowed = QStringLiteral(".!#$%&'*+/=?^_`{|}~-");
    if (local.isEmpty() || local.size() > 64 || local.startsWith(u'.') || local.endsWith(u'.') ||
        local.contains(QStringLiteral("..")))
        return false;
    for (const QChar c : local)
        if (!isAsciiAlnum(c) && !allowed.contains(c))
            return false;
    return true;
}

bool validDomain(const QString& domain) {
    const QStringList labels = domain.split(u'.');
    if (domain.size() > 253 || labels.size() < 2)
        return false;
    for (const QString& label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
            return false;
        for (const QChar c : label)
            if (!isAsciiAlnum(c) && c != u'-')
                return false;
    }
    const QString& top = labels.last();
    if (top.size() < 2)
        return false;
    for (const QChar c : top)
        if (!(c >= u'a' && c <= u'z'))
            return false;
    return true;
}

} // namespace

std::optional<QString> EmailAddress::normalized(const QString& text) {
    const QString address = text.trimmed().toLower();
    if (address.size() > 254 || address.count(u'@') != 1)
        return std::nullopt;
    const qsizetype at = address.indexOf(u'@');
    if (!validLocal(address.left(at)) || !validDomain(address.mid(at + 1)))
        return std::nullopt;
    return address;
}

QString EmailAddress::mailbox(const QString& address) {
    const qsizetype at = address.lastIndexOf(u'@');
    const qsizetype plus = address.indexOf(u'+');
    if (at < 0 || plus <= 0 || plus > at)
        return address;
    return address.left(plus) + address.mid(at);
}

} // namespace parlova::relay
