#include "relay/Log.h"

#include <QDateTime>

#include <cstdio>
#include <mutex>

namespace parlova::relay {

void Log::line(const QString& text) {
    static std::mutex mutex;
    const QByteArray bytes =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text +
         u'\n')
            .toUtf8();
    const std::lock_guard lock(mutex);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace parlova::relay
