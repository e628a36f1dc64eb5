#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <cstdlib>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace parlova::core {

namespace detail {

// What a task delivers, with a stand-in for a task that delivers nothing.
template <typename T>
using Delivered = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

template <typename T>
QCoro::Task<> fill(QCoro::Task<T> task, std::optional<Delivered<T>>* box, bool* threw,
                   QEventLoop* loop) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            box->emplace();
        } else {
            box->emplace(co_await std::move(task));
        }
    } catch (...) {
        *threw = true;
    }
    loop->quit();
}

} // namespace detail

// Runs an asynchronous operation to completion from synchronous code (the
// command line, tests, benchmarks): the calling thread turns a local event
// loop until the task has delivered its value. Never for the desktop
// program's main thread. Failures are part of that value; a task that throws
// is a defect, and nothing must go on with a made-up outcome, so the program
// ends. The one helper of its kind in the project: QCoro::waitFor
// default-constructs the value before the task assigns it, which a Result
// cannot be, and lets an exception through.
template <typename T>
T waitFor(QCoro::Task<T> task) {
    std::optional<detail::Delivered<T>> box;
    bool threw = false;
    QEventLoop loop;
    // The task may finish before the loop turns; the box tells.
    const QCoro::Task<> filling = detail::fill(std::move(task), &box, &threw, &loop);
    while (!box && !threw)
        loop.exec();
    if (threw)
        std::abort();
    if constexpr (!std::is_void_v<T>)
        return std::move(*box);
}

} // namespace parlova::core
