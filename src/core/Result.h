#pragma once

#include "protocol/Result.h"

namespace parlova::core {

// The client answers its failures with the same value-or-failure type as the
// protocol's decoders.
using protocol::Result;

} // namespace parlova::core
