#include "app/controllers/ReferralModel.h"

#include "app/controllers/AssignIfChanged.h"

namespace parlova::app {

void ReferralModel::setIgnoredCode(const std::optional<QString>& code) {
    if (assignIfChanged(m_ignoredCode, code))
        Q_EMIT ignoredCodeChanged();
}

} // namespace parlova::app
