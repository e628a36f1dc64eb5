#pragma once

#include <utility>

namespace parlova::app {

// Stores the value and answers whether it differs from the old one, so that a
// model notifies its observers only of real changes.
template <typename T, typename U>
bool assignIfChanged(T& field, U&& value) {
    if (field == value)
        return false;
    field = std::forward<U>(value);
    return true;
}

} // namespace parlova::app
