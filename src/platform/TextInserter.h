#pragma once

#include "core/Result.h"
#include "core/domain/DictationFailure.h"
#include "core/domain/DictationTimeline.h"

#include <QObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <memory>

namespace parlova::platform {

// Writes a transcript at the text cursor of the application in front, the way
// a user would: clipboard, synthesized paste, then the earlier clipboard put
// back unless somebody changed it meanwhile. Main thread only.
class TextInserter : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~TextInserter() override = default;

    // Succeeds after the restore step (about half a second after the paste);
    // the only failure is DictationFailure::insertionFailed. The timeline,
    // when given, learns when the clipboard was set, the keys sent and the
    // clipboard given back.
    virtual QCoro::Task<core::Done<core::DictationFailure>>
    insert(QString text, std::shared_ptr<core::DictationTimeline> timeline = {}) = 0;
};

// The inserter of the session the program runs in (X11 or Wayland), owned by
// `parent`. Needs the QGuiApplication for its clipboard.
TextInserter* createTextInserter(QObject* parent);

} // namespace parlova::platform
