#include "platform/fake/FakeTextInserter.h"

namespace parlova::platform {

QCoro::Task<core::Done<core::DictationFailure>>
FakeTextInserter::insert(QString text, std::shared_ptr<core::DictationTimeline>) {
    if (m_fails)
        co_return core::DictationFailure::insertionFailed();
    m_texts.append(text);
    co_return core::Done<core::DictationFailure>(std::monostate{});
}

} // namespace parlova::platform
