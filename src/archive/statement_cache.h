#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <map>

namespace noxa {

// The statements of one connection, each prepared once: PostgreSQL keeps them on the server,
// so that a batch costs no round trip for preparing.
class StatementCache {
public:
    // The statement of `sql`, ready for its values; nullptr with `error` said when it cannot be
    // prepared.
    QSqlQuery* Get(QSqlDatabase& db, const QString& sql, QString& error) {
        auto found = statements_.find(sql);
        if (found != statements_.end()) return &found->second;
        QSqlQuery query(db);
        if (!query.prepare(sql)) {
            error = query.lastError().text();
            return nullptr;
        }
        return &statements_.emplace(sql, std::move(query)).first->second;
    }
    // Forgets them all, for a new connection.
    void Clear() { statements_.clear(); }

private:
    std::map<QString, QSqlQuery> statements_;
};

}  // namespace noxa
