#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace parlova::protocol {

// A value, or the one failure that prevented it: what every client or protocol operation
// that can fail answers. Failures travel as values, never as exceptions (a
// coroutine that throws would be lost by its runner).
template <typename T, typename E>
class Result {
    static_assert(!std::is_same_v<T, E>, "a value and its failure need distinct types");

public:
    Result(T value)
        : m_content(std::in_place_index<0>, std::move(value)) {}
    Result(E error)
        : m_content(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_content.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T& value() const& { return std::get<0>(m_content); }
    T& value() & { return std::get<0>(m_content); }
    T&& value() && { return std::get<0>(std::move(m_content)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }

    // Only when !ok().
    const E& error() const { return std::get<1>(m_content); }

    friend bool operator==(const Result&, const Result&) = default;

private:
    std::variant<T, E> m_content;
};

} // namespace parlova::protocol
