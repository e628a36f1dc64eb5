#pragma once

#include "core/Result.h"
#include "protocol/RelayJSON.h"

namespace parlova::core {

// The protocol's reading convention, under the names the client uses.
using protocol::Decoded;
using protocol::DecodingError;
using protocol::isSecureWebPage;
using protocol::RelayJSON;

} // namespace parlova::core
