#pragma once

#include "platform/Permissions.h"

namespace parlova::platform {

// Permissions set by the test; granted unless told otherwise.
class FakePermissions final : public Permissions {
    Q_OBJECT

public:
    using Permissions::Permissions;

    core::Readiness::Microphone microphone() override { return m_microphone; }
    bool accessibility() override { return m_accessibility; }
    void requestMicrophone() override { ++m_requests; }
    void requestAccessibility() override { ++m_requests; }

    void setMicrophone(core::Readiness::Microphone microphone) { m_microphone = microphone; }
    void setAccessibility(bool granted) { m_accessibility = granted; }
    int requests() const { return m_requests; }

private:
    core::Readiness::Microphone m_microphone = core::Readiness::Microphone::granted;
    bool m_accessibility = true;
    int m_requests = 0;
};

} // namespace parlova::platform
