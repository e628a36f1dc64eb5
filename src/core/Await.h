#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <cstdlib>
#include <optional>
#include <utility>

namespace parlova::core {

namespace detail {

template <typename T>
QCoro::Task<> fill(QCoro::Task<T> task, std::optional<T>* box, bool* threw, QEventLoop* loop) {
    try {
        box->emplace(co_await std::move(task));
    } catch (...) {
        *threw = true;
    }
    loop->quit();
}

} // namespace detail

// Runs an asynchronous operation to completion from synchronous code (the
// command line, tests): the calling thread turns a local event loop until the
// task has delivered its value. Never for the desktop program's main thread.
// Failures are part of that value, never exceptions: a task that throws is
// a programming error, the one case for abort(), since nothing must go on
// with a made-up outcome.
template <typename T>
T waitFor(QCoro::Task<T> task) {
    std::optional<T> box;
    bool threw = false;
    QEventLoop loop;
    // The task may finish before the loop turns; the box tells.
    const QCoro::Task<> filling = detail::fill(std::move(task), &box, &threw, &loop);
    while (!box && !threw)
        loop.exec();
    if (threw)
        std::abort();
    return std::move(*box);
}

} // namespace parlova::core
