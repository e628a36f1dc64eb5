#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace parlova::app {

// Backs the referral window: the code of the last invitation link that was
// not applied because the user was already signed in. Main thread only.
class ReferralModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<QString> ignoredCode READ ignoredCode WRITE setIgnoredCode NOTIFY
                   ignoredCodeChanged)

public:
    using QObject::QObject;

    const std::optional<QString>& ignoredCode() const { return m_ignoredCode; }
    void setIgnoredCode(const std::optional<QString>& code);

Q_SIGNALS:
    void ignoredCodeChanged();

private:
    std::optional<QString> m_ignoredCode;
};

} // namespace parlova::app
