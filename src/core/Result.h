#pragma once

#include "protocol/Result.h"

namespace parlova::core {

// The client answers its failures with the same value-or-failure type as the
// protocol's decoders.
using protocol::Result;

// The success of an operation that answers nothing but whether it worked. A
// coroutine spells its success out, `co_return Done<E>(std::monostate{})`:
// QCoro would store a bare monostate as "no result yet".
template <typename E>
using Done = Result<std::monostate, E>;

} // namespace parlova::core
