#include "app/LoginItem.h"

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

bool LoginItem::setEnabled(bool enabled) {
    if (!enabled)
        return !QFile::exists(entryPath()) || QFile::remove(entryPath());
    if (!QDir().mkpath(m_folder))
        return false;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entryText());
    return file.commit();
}

} // namespace parlova::app
