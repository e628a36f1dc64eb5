#include "core/program/ProgramIdentity.h"

#include "core/texts/Catalog.h"

#include <QCoreApplication>

namespace parlova::core {

void ProgramIdentity::install() {
    QCoreApplication::setOrganizationName(QStringLiteral("parlova"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("parlova.fr"));
    QCoreApplication::setApplicationName(QStringLiteral("parlova"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PARLOVA_VERSION));
    Catalog::installTranslations();
}

} // namespace parlova::core
