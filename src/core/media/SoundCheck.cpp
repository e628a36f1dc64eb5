#include "core/media/SoundCheck.h"

namespace parlova::core {

void SoundCheck::record(float decibels) {
    if (m_loudestDecibels <= decibels)
        m_loudestDecibels = decibels;
}

bool SoundCheck::heardSound() const {
    return m_loudestDecibels > AudioLevel::silenceDecibels;
}

} // namespace parlova::core
