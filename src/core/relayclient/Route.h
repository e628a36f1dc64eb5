#pragma once

#include "protocol/Route.h"

#include <QString>
#include <QUrl>

namespace parlova::core {

// The relay's endpoints, as the protocol's route table names them.
using protocol::Route;

// "api/compte", ...: path segments below the relay origin.
QString routePath(Route route);

// The origin with the route's segments appended after host and port: no
// query, no fragment, no trailing slash.
QUrl routeUrl(const QUrl& origin, Route route);

} // namespace parlova::core
