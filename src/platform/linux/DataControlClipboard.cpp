#include "platform/linux/DataControlClipboard.h"

#include "platform/linux/WaylandConnection.h"

#include <QMimeData>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <QCoro/QCoroSignal>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <data-control-client.h>
#include <wayland-client.h>

namespace parlova::platform {

namespace {

using namespace std::chrono_literals;

// How long the owner of the clipboard may take to hand over all its
// formats, and a reader to take ours, before we give up on them.
constexpr std::chrono::milliseconds readTimeout = 1s;
constexpr std::chrono::milliseconds writeTimeout = 5s;

// Wayland and X11 readers ask for text under any of these names; Qt keeps
// it under the last.
const QStringList textTypes{QStringLiteral("text/plain;charset=utf-8"),
                            QStringLiteral("UTF8_STRING"), QStringLiteral("TEXT"),
                            QStringLiteral("STRING"), QStringLiteral("text/plain")};

} // namespace

DataControlClipboard::DataControlClipboard(std::shared_ptr<WaylandConnection> connection,
                                           QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection)) {
    // A reader that closes its pipe early must cost its transfer, not the
    // program.
    std::signal(SIGPIPE, SIG_IGN);
    if (!offered(*m_connection))
        return;
    // Bound at version 1: no primary selection events come.
    static const zwlr_data_control_device_v1_listener listener{&onDataOffer, &onSelection,
                                                               &onFinished, nullptr};
    m_device = zwlr_data_control_manager_v1_get_data_device(m_connection->dataControl(),
                                                            m_connection->seat());
    zwlr_data_control_device_v1_add_listener(m_device, &listener, this);
    m_connection->flush();
}

DataControlClipboard::~DataControlClipboard() {
    if (!m_connection->usable())
        return;
    dropSource();
    for (const auto& [offer, types] : m_offers)
        zwlr_data_control_offer_v1_destroy(offer);
    if (m_device != nullptr)
        zwlr_data_control_device_v1_destroy(m_device);
    m_connection->flush();
}

bool DataControlClipboard::offered(const WaylandConnection& connection) {
    return connection.usable() && connection.dataControl() != nullptr &&
           connection.seat() != nullptr;
}

QCoro::Task<std::unique_ptr<QMimeData>> DataControlClipboard::snapshot() {
    QPointer<DataControlClipboard> self(this);
    // Selection events still on their way describe what is there now.
    co_await m_connection->settled(readTimeout);
    if (!self || m_selection == nullptr)
        co_return std::unique_ptr<QMimeData>();
    const zwlr_data_control_offer_v1* selection = m_selection;
    const QStringList types = m_offers[m_selection];

    auto copy = std::make_unique<QMimeData>();
    bool any = false;
    for (const QString& type : types) {
        QCoro::Task<core::Result<QByteArray, Error>> receiving = receive(type);
        core::Result<QByteArray, Error> data = co_await std::move(receiving);
        // A new selection replaced the one being read: what came before is
        // still a faithful part of it.
        if (!self || m_selection != selection)
            break;
        if (!data)
            continue;
        copy->setData(type, *data);
        any = true;
    }
    if (!any)
        co_return std::unique_ptr<QMimeData>();
    co_return copy;
}

QCoro::Task<core::Result<QByteArray, Clipboard::Error>>
DataControlClipboard::receive(QString type) {
    std::array<int, 2> fds{-1, -1};
    if (m_selection == nullptr || pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        co_return Error::unreachable;
    zwlr_data_control_offer_v1_receive(m_selection, type.toUtf8().constData(), fds[1]);
    close(fds[1]);
    m_connection->flush();

    const int fd = fds[0];
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    connect(&notifier, &QSocketNotifier::activated, this, [this, fd] { Q_EMIT readable(fd); });
    QPointer<DataControlClipboard> self(this);
    QByteArray data;
    core::Result<QByteArray, Error> result = Error::notRead;
    const auto deadline = std::chrono::steady_clock::now() + readTimeout;
    while (true) {
        std::array<char, 65536> buffer{};
        const ssize_t count = read(fd, buffer.data(), buffer.size());
        if (count > 0) {
            data.append(buffer.data(), count);
            continue;
        }
        if (count == 0) {
            result = std::move(data);
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const auto ready = co_await qCoro(this, &DataControlClipboard::readable, left);
        if (!self || !ready)
            break;
    }
    close(fd);
    co_return result;
}

core::Done<Clipboard::Error> DataControlClipboard::place(std::unique_ptr<QMimeData> content) {
    const core::Done<Error> offered = offer(std::move(content));
    m_holdsPlaced = offered.ok();
    return offered;
}

bool DataControlClipboard::holdsPlaced() const {
    return m_holdsPlaced && m_source != nullptr && m_connection->usable();
}

void DataControlClipboard::restore(std::unique_ptr<QMimeData> saved) {
    m_holdsPlaced = false;
    if (saved) {
        offer(std::move(saved));
        return;
    }
    if (m_device == nullptr || !m_connection->usable())
        return;
    zwlr_data_control_device_v1_set_selection(m_device, nullptr);
    dropSource();
    m_connection->flush();
}

core::Done<Clipboard::Error> DataControlClipboard::offer(std::unique_ptr<QMimeData> content) {
    if (m_device == nullptr || !m_connection->usable())
        return Error::unreachable;
    dropSource();
    static const zwlr_data_control_source_v1_listener listener{&onSend, &onCancelled};
    m_source = zwlr_data_control_manager_v1_create_data_source(m_connection->dataControl());
    zwlr_data_control_source_v1_add_listener(m_source, &listener, this);
    QStringList types = content->formats();
    if (content->hasText()) {
        for (const QString& type : textTypes) {
            if (!types.contains(type))
                types.append(type);
        }
    }
    for (const QString& type : types)
        zwlr_data_control_source_v1_offer(m_source, type.toUtf8().constData());
    zwlr_data_control_device_v1_set_selection(m_device, m_source);
    m_content = std::move(content);
    if (!m_connection->flush().ok())
        return Error::notOffered;
    return std::monostate{};
}

void DataControlClipboard::dropSource() {
    if (m_source != nullptr)
        zwlr_data_control_source_v1_destroy(m_source);
    m_source = nullptr;
    m_content.reset();
}

void DataControlClipboard::serve(int fd, QByteArray data) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    auto* deadline = new QTimer(notifier);
    qsizetype written = 0;
    const auto pump = [notifier, fd, data, written]() mutable {
        while (written < data.size()) {
            const ssize_t count = write(fd, data.constData() + written,
                                        static_cast<std::size_t>(data.size() - written));
            if (count > 0)
                written += count;
            else if (count < 0 && errno == EINTR)
                continue;
            else if (count < 0 && errno == EAGAIN)
                return;
            else
                break;
        }
        notifier->setEnabled(false);
        notifier->deleteLater();
        close(fd);
    };
    connect(notifier, &QSocketNotifier::activated, notifier, pump);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, notifier, [notifier, fd] {
        if (!notifier->isEnabled())
            return; // done, and the descriptor closed
        notifier->setEnabled(false);
        notifier->deleteLater();
        close(fd);
    });
    deadline->start(writeTimeout);
}

void DataControlClipboard::onDataOffer(void* data, zwlr_data_control_device_v1*,
                                       zwlr_data_control_offer_v1* offer) {
    static const zwlr_data_control_offer_v1_listener listener{&onOfferType};
    static_cast<DataControlClipboard*>(data)->m_offers[offer] = {};
    zwlr_data_control_offer_v1_add_listener(offer, &listener, data);
}

void DataControlClipboard::onSelection(void* data, zwlr_data_control_device_v1*,
                                       zwlr_data_control_offer_v1* offer) {
    auto* self = static_cast<DataControlClipboard*>(data);
    if (self->m_selection != nullptr && self->m_selection != offer) {
        self->m_offers.erase(self->m_selection);
        zwlr_data_control_offer_v1_destroy(self->m_selection);
    }
    self->m_selection = offer;
}

void DataControlClipboard::onFinished(void* data, zwlr_data_control_device_v1* device) {
    auto* self = static_cast<DataControlClipboard*>(data);
    zwlr_data_control_device_v1_destroy(device);
    self->m_device = nullptr;
}

void DataControlClipboard::onOfferType(void* data, zwlr_data_control_offer_v1* offer,
                                       const char* type) {
    auto* self = static_cast<DataControlClipboard*>(data);
    self->m_offers[offer].append(QString::fromUtf8(type));
}

void DataControlClipboard::onSend(void* data, zwlr_data_control_source_v1* source, const char* type,
                                  int32_t fd) {
    auto* self = static_cast<DataControlClipboard*>(data);
    if (source != self->m_source || !self->m_content) {
        close(fd);
        return;
    }
    const QString wanted = QString::fromUtf8(type);
    QByteArray bytes = self->m_content->data(wanted);
    if (bytes.isEmpty() && textTypes.contains(wanted))
        bytes = self->m_content->text().toUtf8();
    self->serve(fd, std::move(bytes));
}

void DataControlClipboard::onCancelled(void* data, zwlr_data_control_source_v1* source) {
    auto* self = static_cast<DataControlClipboard*>(data);
    if (source == self->m_source) {
        self->m_source = nullptr;
        self->m_content.reset();
        self->m_holdsPlaced = false;
    }
    zwlr_data_control_source_v1_destroy(source);
}

} // namespace parlova::platform
