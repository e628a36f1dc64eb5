#pragma once

#include "platform/linux/Clipboard.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <map>
#include <memory>

class QMimeData;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace parlova::platform {

class WaylandConnection;

// The clipboard through the compositor's data-control protocol, for a
// program whose windows run natively on Wayland: unlike the core clipboard
// protocol it needs no keyboard focus, which a program pasting into
// somebody else's window never has. Transfers go through pipes, read and
// written from the event loop, so a slow or stuck peer only costs its own
// format (after a time-out), never the program.
class DataControlClipboard final : public QObject, public Clipboard {
    Q_OBJECT

public:
    explicit DataControlClipboard(std::shared_ptr<WaylandConnection> connection,
                                  QObject* parent = nullptr);
    ~DataControlClipboard() override;

    static bool offered(const WaylandConnection& connection);

    QCoro::Task<std::unique_ptr<QMimeData>> snapshot() override;
    core::Done<Error> place(std::unique_ptr<QMimeData> content) override;
    bool holdsPlaced() const override;
    void restore(std::unique_ptr<QMimeData> saved) override;

Q_SIGNALS:
    // A pipe being read has data or reached its end.
    void readable(int fd);

private:
    QCoro::Task<core::Result<QByteArray, Error>> receive(QString type);
    core::Done<Error> offer(std::unique_ptr<QMimeData> content);
    void serve(int fd, QByteArray data);
    void dropSource();

    static void onDataOffer(void* self, zwlr_data_control_device_v1* device,
                            zwlr_data_control_offer_v1* offer);
    static void onSelection(void* self, zwlr_data_control_device_v1* device,
                            zwlr_data_control_offer_v1* offer);
    static void onFinished(void* self, zwlr_data_control_device_v1* device);
    static void onOfferType(void* self, zwlr_data_control_offer_v1* offer, const char* type);
    static void onSend(void* self, zwlr_data_control_source_v1* source, const char* type,
                       int32_t fd);
    static void onCancelled(void* self, zwlr_data_control_source_v1* source);

    std::shared_ptr<WaylandConnection> m_connection;
    zwlr_data_control_device_v1* m_device = nullptr;
    // Offers announced and not yet replaced, with the types each offered.
    std::map<zwlr_data_control_offer_v1*, QStringList> m_offers;
    zwlr_data_control_offer_v1* m_selection = nullptr;
    // What we serve, and whether the last place() still holds it.
    zwlr_data_control_source_v1* m_source = nullptr;
    std::unique_ptr<QMimeData> m_content;
    bool m_holdsPlaced = false;
};

} // namespace parlova::platform
