#pragma once

#include "app/controllers/SessionActions.h"
#include "core/domain/PaymentPage.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

namespace parlova::app {

// Backs the Pro window: opens a checkout or the customer portal in the
// browser, one page at a time, then has the session watch for the payment.
// Main thread only.
class ProModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<parlova::core::PaymentPage> opening READ opening NOTIFY openingChanged)
    Q_PROPERTY(std::optional<QString> error READ error NOTIFY errorChanged)

public:
    // Why the browser did not get the page.
    enum class Error {
        notOpened, // the desktop refused the request
    };
    static QString message(Error error);

    // Asks the desktop to open an address in the browser; succeeds when the
    // request was accepted.
    using Browser = std::function<core::Done<Error>(const QUrl&)>;

    // Without a browser, the desktop's default one.
    explicit ProModel(SessionActions& session, Browser browser = {}, QObject* parent = nullptr);

    // The desktop's default browser.
    static core::Done<Error> desktopBrowser(const QUrl& url);

    // The page being opened, from the press of a button until the browser
    // has been asked, or the attempt failed.
    const std::optional<core::PaymentPage>& opening() const { return m_opening; }
    const std::optional<QString>& error() const { return m_error; }

    // Further presses are ignored while a page is being opened.
    QCoro::Task<> open(core::PaymentPage page);
    void clearError();

Q_SIGNALS:
    void openingChanged();
    void errorChanged();

private:
    void setOpening(const std::optional<core::PaymentPage>& page);
    void setError(const std::optional<QString>& error);

    SessionActions& m_session;
    Browser m_browser;
    std::optional<core::PaymentPage> m_opening;
    std::optional<QString> m_error;
};

} // namespace parlova::app
