#pragma once

#include "core/relayclient/RelayTransport.h"

#include <QCoroTask>
#include <QList>

#include <coroutine>
#include <memory>
#include <optional>
#include <utility>

namespace parlova::test {

// A relay transport whose exchanges wait until the test answers them, one by
// one and in any order, so that answers can overtake each other. Every
// exchange must be answered before the test ends.
class PendingTransport final : public core::RelayTransport {
public:
    using Outcome = core::RelayResult<Response>;

    struct Exchange {
        Request request;
        std::optional<Outcome> outcome;
        std::coroutine_handle<> waiting;
    };

    // Suspends the sender until its exchange is answered, and resumes it
    // right inside answer().
    struct Answered {
        Exchange& exchange;

        bool await_ready() const noexcept { return exchange.outcome.has_value(); }
        void await_suspend(std::coroutine_handle<> handle) noexcept { exchange.waiting = handle; }
        void await_resume() const noexcept {}
    };

    static std::shared_ptr<PendingTransport> make() { return std::make_shared<PendingTransport>(); }

    qsizetype count() const { return m_exchanges.size(); }
    const Request& request(qsizetype index) const { return m_exchanges.at(index)->request; }
    bool isWaiting(qsizetype index) const { return !m_exchanges.at(index)->outcome; }

    void answer(qsizetype index, Outcome outcome) {
        const std::shared_ptr<Exchange> exchange = m_exchanges.at(index);
        exchange->outcome = std::move(outcome);
        if (exchange->waiting)
            std::exchange(exchange->waiting, {}).resume();
    }
    // Answers every waiting exchange alike, in the order they were sent.
    void answerAll(const Outcome& outcome) {
        for (qsizetype index = 0; index < m_exchanges.size(); ++index) {
            if (!m_exchanges.at(index)->outcome)
                answer(index, outcome);
        }
    }

    QCoro::Task<Outcome> send(Request request) override {
        auto exchange = std::make_shared<Exchange>();
        exchange->request = std::move(request);
        m_exchanges.append(exchange);
        co_await Answered{*exchange};
        co_return *exchange->outcome;
    }

    // Connections opened ahead of a request.
    int warmed = 0;
    void warm(const QUrl&, const QList<QSslCertificate>&) override { ++warmed; }

private:
    QList<std::shared_ptr<Exchange>> m_exchanges;
};

} // namespace parlova::test
