#pragma once

#include "platform/TextInserter.h"

#include <QStringList>

namespace parlova::platform {

// Keeps the texts it is asked to write; answers at once.
class FakeTextInserter final : public TextInserter {
    Q_OBJECT

public:
    using TextInserter::TextInserter;

    QCoro::Task<core::Done<core::DictationFailure>>
    insert(QString text, std::shared_ptr<core::DictationTimeline> timeline = {}) override;

    // The next insertions fail with insertionFailed.
    void setFails(bool fails) { m_fails = fails; }
    const QStringList& texts() const { return m_texts; }

private:
    QStringList m_texts;
    bool m_fails = false;
};

} // namespace parlova::platform
