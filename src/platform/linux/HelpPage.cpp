#include "platform/linux/HelpPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace parlova::platform {

namespace {

const QString fileName = QStringLiteral("autorisations.html");

} // namespace

HelpPage::HelpPage(QStringList folders) {
    if (folders.isEmpty()) {
        const QString executable = QCoreApplication::applicationDirPath();
        folders << executable << executable + QStringLiteral("/../share/parlova");
        for (const QString& data :
             QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
            folders << data + QStringLiteral("/parlova");
    }
    for (const QString& folder : std::as_const(folders)) {
        const QFileInfo candidate(QDir(folder), fileName);
        if (candidate.isFile()) {
            m_path = candidate.canonicalFilePath();
            break;
        }
    }
}

QUrl HelpPage::url(const char* section) const {
    if (m_path.isEmpty())
        return {};
    QUrl page = QUrl::fromLocalFile(m_path);
    page.setFragment(QString::fromLatin1(section));
    return page;
}

} // namespace parlova::platform
