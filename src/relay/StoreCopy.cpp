#include "relay/StoreCopy.h"

#include "relay/Log.h"
#include "relay/PostgresDatabase.h"

#include <QStringList>

namespace parlova::relay {

namespace {

// Each table and its columns, "name:i" for an integer, "name:t" for a text.
// The words held by dictations in flight are not copied: they belong to a
// relay that is stopped.
struct Table {
    const char* name;
    const char* columns;
    bool identity = false; // ids that the new base must go on from
};
const Table tables[] = {
    {"comptes",
     "id:i email:t code_parrainage:t cree_le:i offre_offerte:t offert_jusqu_au:i "
     "semaine_debut:i semaine_mots:i premiere_dictee:i",
     true},
    {"sessions", "jeton:t compte:i cree_le:i utilise_le:i"},
    {"codes", "id:i email:t code:t parrainage:t emis_le:i essais:i", true},
    {"demandes_code", "email:t le:i client:t"},
    {"echecs_code", "client:t email:t le:i"},
    {"abonnements", "compte:i periode:t statut:t fin_periode:i resilie:i cree_le:i"},
    {"pages", "cle:t compte:i genre:t periode:t expire_le:i utilisee:i graine:t"},
    {"parrainages", "filleul:t parrain:i le:i valide:i valide_le:i mois:i"},
    {"adresses_supprimees", "email:t le:i"},
    {"semaines_gardees", "empreinte:t semaine_debut:i mots:i"},
};

qint64 copyTable(Database& from, Database& to, const Table& table) {
    const QStringList columns = QString::fromLatin1(table.columns).split(u' ');
    QStringList names;
    QStringList parameters;
    for (const QString& column : columns) {
        names << column.section(u':', 0, 0);
        parameters << QStringLiteral("?%1").arg(parameters.size() + 1);
    }
    const QString list = names.join(u", ");
    auto rows = from.prepare(QStringLiteral("SELECT %1 FROM %2")
                                 .arg(list, QLatin1String(table.name))
                                 .toUtf8()
                                 .constData());
    const QByteArray insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(QLatin1String(table.name), list, parameters.join(u", "))
                                  .toUtf8();
    qint64 count = 0;
    while (rows.step()) {
        auto row = to.prepare(insert.constData());
        for (int i = 0; i < columns.size(); ++i) {
            if (columns.at(i).endsWith(u":i"))
                row.bind(i + 1, rows.optionalInteger(i));
            else
                row.bind(i + 1, rows.optionalText(i));
        }
        row.run();
        ++count;
    }
    return count;
}

} // namespace

Started StoreCopy::copy(Database& from, PostgresDatabase& to) {
    try {
        const auto fromLock = from.lock();
        const auto toLock = to.lock();
        Database::Transaction reading(from);
        Database::Transaction writing(to);
        auto accounts = to.prepare("SELECT COUNT(*) FROM comptes");
        if (accounts.step() && accounts.integer(0) > 0)
            return QStringLiteral("La base %1 a déjà des comptes : la copie se fait dans une "
                                  "base neuve.")
                .arg(to.name());
        for (const Table& table : tables) {
            const qint64 count = copyTable(from, to, table);
            if (table.identity) {
                to.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), "
                                       "COALESCE(MAX(id), 0) + 1, false) FROM %1")
                            .arg(QLatin1String(table.name))
                            .toUtf8()
                            .constData());
            }
            Log::line(QStringLiteral("Copie : %1 lignes de %2")
                          .arg(count)
                          .arg(QLatin1String(table.name)));
        }
        writing.commit();
        reading.commit();
    } catch (const StorageError& e) {
        return QStringLiteral("Copie vers %1 impossible : %2")
            .arg(to.name(), QString::fromUtf8(e.what()));
    }
    return Done{};
}

} // namespace parlova::relay
