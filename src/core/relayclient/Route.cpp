#include "core/relayclient/Route.h"

namespace parlova::core {

QString routePath(Route route) {
    return protocol::RouteTable::path(route);
}

QUrl routeUrl(const QUrl& origin, Route route) {
    QUrl result =
        origin.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::StripTrailingSlash);
    QString base = result.path();
    while (base.endsWith(u'/'))
        base.chop(1);
    result.setPath(base + u'/' + routePath(route));
    return result;
}

} // namespace parlova::core
