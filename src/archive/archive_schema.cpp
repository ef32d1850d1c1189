#include "archive/archive_schema.h"

#include "archive/archived_record.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <vector>

namespace noxa {
namespace {

using Engine = DatabaseTarget::Engine;

// The columns of the records, one for each measure and count a record carries; PostgreSQL
// divides the table into a partition a month. A measure added later needs a step of its own
// that adds its column to the tables made before.
QString RecordsTable(Engine engine) {
    QString sql = QStringLiteral(
        "CREATE TABLE records ("
        " station TEXT NOT NULL, end_time BIGINT NOT NULL, start_time BIGINT NOT NULL,"
        " previous_end BIGINT");
    for (const char* key : kMeasureKeys) sql += QStringLiteral(", %1 DOUBLE PRECISION").arg(key);
    for (const char* key : kReportKeys) sql += QStringLiteral(", %1 INTEGER NOT NULL").arg(key);
    sql += QStringLiteral(", committed_at BIGINT NOT NULL, PRIMARY KEY (station, end_time))");
    if (engine == Engine::Postgres) sql += " PARTITION BY RANGE (end_time)";
    return sql;
}

// The statements that bring a database from `version - 1` to `version`.
struct SchemaStep {
    int version;
    QStringList (*statements)(Engine engine);
};

QStringList FirstTables(Engine engine) {
    QStringList statements{
        "CREATE TABLE schema_version (version INTEGER NOT NULL)",
        "CREATE TABLE stations ("
        " station TEXT PRIMARY KEY, name TEXT,"
        " first_end BIGINT, last_end BIGINT, records BIGINT NOT NULL DEFAULT 0,"
        " through BIGINT, state TEXT, state_time BIGINT,"
        " availability TEXT, availability_time BIGINT)",
        RecordsTable(engine),
        "INSERT INTO schema_version (version) VALUES (0)",
    };
    if (engine == Engine::Postgres) {
        statements << "CREATE TABLE records_default PARTITION OF records DEFAULT";
    }
    return statements;
}

const std::vector<SchemaStep> kSteps{
    {1, FirstTables},
};

bool Run(QSqlDatabase& db, const QString& sql, QString& error) {
    QSqlQuery query(db);
    if (query.exec(sql)) return true;
    error = query.lastError().text();
    return false;
}

// The version the database is at: 0 for an empty one.
bool CurrentVersion(QSqlDatabase& db, int& version, QString& error) {
    version = 0;
    if (!db.tables().contains("schema_version")) return true;
    QSqlQuery query(db);
    if (!query.exec("SELECT MAX(version) FROM schema_version")) {
        error = query.lastError().text();
        return false;
    }
    if (query.next()) version = query.value(0).toInt();
    return true;
}

bool ApplyStep(QSqlDatabase& db, const SchemaStep& step, Engine engine, QString& error) {
    if (!db.transaction()) {
        error = db.lastError().text();
        return false;
    }
    for (const QString& sql : step.statements(engine)) {
        if (!Run(db, sql, error)) {
            db.rollback();
            return false;
        }
    }
    const QString setVersion =
        QStringLiteral("UPDATE schema_version SET version = %1").arg(step.version);
    if (!Run(db, setVersion, error) || !db.commit()) {
        if (error.isEmpty()) error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

}  // namespace

bool UpgradeSchema(QSqlDatabase& db, Engine engine, QString& error) {
    int version = 0;
    if (!CurrentVersion(db, version, error)) return false;
    if (version > kSchemaVersion) {
        error = QStringLiteral("the database is at version %1, newer than this archive's %2")
                    .arg(version)
                    .arg(kSchemaVersion);
        return false;
    }
    for (const SchemaStep& step : kSteps) {
        if (step.version <= version) continue;
        if (!ApplyStep(db, step, engine, error)) return false;
    }
    return true;
}

}  // namespace noxa
