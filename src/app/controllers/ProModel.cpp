#include "app/controllers/ProModel.h"

#include "app/controllers/AssignIfChanged.h"
#include "core/texts/Texts.h"

#include <QDesktopServices>
#include <QPointer>

namespace parlova::app {

ProModel::ProModel(SessionActions& session, Browser browser, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_browser(std::move(browser)) {
    if (!m_browser)
        m_browser = desktopBrowser;
}

QString ProModel::message(Error error) {
    switch (error) {
    case Error::notOpened:
        return core::Texts::browserFailed();
    }
    return {};
}

core::Done<ProModel::Error> ProModel::desktopBrowser(const QUrl& url) {
    if (!QDesktopServices::openUrl(url))
        return Error::notOpened;
    return std::monostate{};
}

QCoro::Task<> ProModel::open(core::PaymentPage page) {
    if (m_opening)
        co_return;
    setOpening(page);
    setError(std::nullopt);
    const QPointer<ProModel> self(this);
    QCoro::Task<core::RelayResult<QUrl>> asking = m_session.paymentPage(page);
    const core::RelayResult<QUrl> url = co_await std::move(asking);
    if (!self)
        co_return;
    if (url) {
        if (const core::Done<Error> opened = m_browser(url.value()))
            m_session.watchPayment();
        else
            setError(message(opened.error()));
    } else {
        // The window should show the subscription the relay already knows of.
        if (url.error().kind() == core::RelayFailure::Kind::alreadySubscribed)
            m_session.refreshAccount();
        setError(url.error().message());
    }
    setOpening(std::nullopt);
}

void ProModel::clearError() {
    setError(std::nullopt);
}

void ProModel::setOpening(const std::optional<core::PaymentPage>& page) {
    if (assignIfChanged(m_opening, page))
        Q_EMIT openingChanged();
}

void ProModel::setError(const std::optional<QString>& error) {
    if (assignIfChanged(m_error, error))
        Q_EMIT errorChanged();
}

} // namespace parlova::app
