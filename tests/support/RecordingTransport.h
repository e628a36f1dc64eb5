#pragma once

#include "core/relayclient/RelayTransport.h"

#include <QCoroTask>
#include <QList>

#include <memory>
#include <utility>

namespace parlova::test {

// A relay transport that keeps every request it is handed and answers from a
// queue (an empty 200 once the queue is empty), without any network.
class RecordingTransport final : public core::RelayTransport {
public:
    using Outcome = core::RelayResult<Response>;

    QList<Request> requests;
    QList<Outcome> answers;

    static std::shared_ptr<RecordingTransport> make() {
        return std::make_shared<RecordingTransport>();
    }

    static Response answer(int status, QByteArray body = {}, QList<Header> headers = {}) {
        return Response{status, std::move(body), std::move(headers)};
    }

    void queue(Outcome outcome) { answers.append(std::move(outcome)); }

    const Request& last() const { return requests.constLast(); }

    QCoro::Task<Outcome> send(Request request) override {
        requests.append(std::move(request));
        if (answers.isEmpty())
            co_return answer(200);
        co_return answers.takeFirst();
    }
};

} // namespace parlova::test
