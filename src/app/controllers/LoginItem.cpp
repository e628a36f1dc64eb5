#include "app/controllers/LoginItem.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace parlova::app {

namespace {

// The entry written, as shipped in the resources.
QByteArray entryText() {
    QFile file(QStringLiteral(":/autostart/parlova.desktop"));
    if (file.open(QIODevice::ReadOnly))
        return file.readAll();
    return QByteArrayLiteral("[Desktop Entry]\nType=Application\nName=Parlova\nExec=parlova\n"
                             "Icon=parlova\nTerminal=false\n");
}

} // namespace

LoginItem::LoginItem()
    : m_folder(defaultFolder()) {}

LoginItem::LoginItem(QString folder)
    : m_folder(std::move(folder)) {}

QString LoginItem::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString LoginItem::entryPath() const {
    return m_folder + QStringLiteral("/parlova.desktop");
}

LoginItem::Status LoginItem::status() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return Status::notRegistered;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return Status::notRegistered;
    }
    return Status::enabled;
}

QString LoginItem::message(Error error) {
    switch (error) {
    case Error::notRemoved:
        return QStringLiteral("L’entrée de démarrage n’a pas pu être retirée.");
    case Error::notWritten:
        return QStringLiteral("L’entrée de démarrage n’a pas pu être écrite.");
    }
    return {};
}

core::Done<LoginItem::Error> LoginItem::setEnabled(bool enabled) {
    if (!enabled) {
        if (QFile::exists(entryPath()) && !QFile::remove(entryPath()))
            return Error::notRemoved;
        return std::monostate{};
    }
    if (!QDir().mkpath(m_folder))
        return Error::notWritten;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return Error::notWritten;
    file.write(entryText());
    if (!file.commit())
        return Error::notWritten;
    return std::monostate{};
}

} // namespace parlova::app
