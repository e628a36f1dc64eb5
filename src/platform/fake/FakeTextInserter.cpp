#include "platform/fake/FakeTextInserter.h"

namespace parlova::platform {

QCoro::Task<std::optional<core::DictationFailure>>
FakeTextInserter::insert(QString text, std::shared_ptr<core::DictationTimeline>) {
    if (m_fails)
        co_return core::DictationFailure::insertionFailed();
    m_texts.append(text);
    co_return std::nullopt;
}

} // namespace parlova::platform
