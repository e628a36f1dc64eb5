#include "app/pill/PillModel.h"

#include <algorithm>
#include <cmath>

namespace parlova::app {

void PillModel::setState(const PillState& state) {
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void PillModel::setLevel(float level) {
    const float clamped = std::isfinite(level) ? std::clamp(level, 0.0F, 1.0F) : 0.0F;
    if (clamped == m_level)
        return;
    m_level = clamped;
    Q_EMIT levelChanged();
}

} // namespace parlova::app
