#include "app/windows/WelcomeView.h"

#include "app/controllers/StatusAppearance.h"
#include "app/widgets/PermissionRow.h"
#include "app/widgets/Style.h"
#include "core/texts/Texts.h"
#include "platform/Permissions.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace parlova::app {

using core::Readiness;
using core::Texts;

WelcomeView::WelcomeView(StatusModel& status, platform::Permissions* permissions,
                         std::function<void()> onClose, QWidget* parent)
    : QWidget(parent)
    , m_status(status) {
    const QPointer<platform::Permissions> granter(permissions);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(Style::spacing);
    layout->addWidget(Style::applicationIcon(76, this));
    layout->addWidget(Style::heading(Texts::welcomeTitle(), this));
    m_subtitle = Style::body(QString(), this);
    Style::tint(m_subtitle, Style::secondary(m_subtitle));
    layout->addWidget(m_subtitle);
    layout->addSpacing(4);
    auto* intro = new QLabel(Texts::welcomeStepsIntro(), this);
    QFont font = intro->font();
    font.setWeight(QFont::DemiBold);
    intro->setFont(font);
    layout->addWidget(intro);

    auto* card = Style::card(this);
    auto* rows = new QVBoxLayout(card);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    m_microphone = new PermissionRow(
        [granter] {
            if (granter)
                granter->requestMicrophone();
        },
        card);
    m_accessibility = new PermissionRow(
        [granter] {
            if (granter)
                granter->requestAccessibility();
        },
        card);
    rows->addWidget(m_microphone);
    auto* line = Style::separator(card);
    rows->addWidget(line);
    rows->addWidget(m_accessibility);
    layout->addWidget(card);

    m_allSetLine =
        Style::symbolLine(QStringLiteral("checkmark.circle.fill"), Style::green(), QString(), this);
    m_allSet = m_allSetLine->findChildren<QLabel*>().constLast();
    Style::tint(m_allSet, Style::green());
    layout->addWidget(m_allSetLine);

    layout->addSpacing(4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_close = Style::prominentButton(QString(), this);
    m_close->setDefault(true);
    m_close->setMinimumWidth(120);
    buttons->addWidget(m_close);
    layout->addLayout(buttons);
    connect(m_close, &QPushButton::clicked, this, [onClose] {
        if (onClose)
            onClose();
    });

    for (auto signal : {&StatusModel::microphoneChanged, &StatusModel::accessibilityChanged,
                        &StatusModel::holdKeyChanged})
        connect(&m_status, signal, this, &WelcomeView::showState);
    showState();
}

void WelcomeView::showState() {
    const bool microphone = m_status.microphone() == Readiness::Microphone::granted;
    const bool accessibility = m_status.accessibility();
    const QString key = StatusAppearance::keyName(m_status.holdKey());
    m_subtitle->setText(Style::keepTogether(Texts::welcomeSubtitle(key)));
    m_microphone->setState(
        {1, Texts::microphoneTitle(), Texts::microphoneDetail(), microphone, !microphone,
         m_status.microphone() == Readiness::Microphone::denied ? Texts::openSettings()
                                                                : Texts::allow()});
    m_accessibility->setState({2, Texts::accessibilityTitle(), Texts::accessibilityDetail(),
                               accessibility, microphone && !accessibility, Texts::openSettings()});
    const bool ready = microphone && accessibility;
    m_allSet->setText(Texts::allSet(key));
    m_allSetLine->setVisible(ready);
    m_close->setText(ready ? Texts::start() : Texts::later());
    // "Later" is the way out, not the thing to do: it is drawn plainly.
    m_close->setProperty("role", ready ? QStringLiteral("prominent") : QString());
    m_close->style()->unpolish(m_close);
    m_close->style()->polish(m_close);
}

} // namespace parlova::app
