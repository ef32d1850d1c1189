#pragma once

#include <QString>

#include <optional>

namespace noxa {

// Where the archive keeps its records: "sqlite:PATH" or "postgresql://USER@HOST:PORT/DB" (user
// and port optional). The password never comes in the URL.
struct DatabaseTarget {
    enum class Engine { Sqlite, Postgres } engine = Engine::Sqlite;
    QString path;  // SQLite: the file
    QString user, host, database;
    int port = 5432;

    QString Driver() const { return engine == Engine::Sqlite ? "QSQLITE" : "QPSQL"; }
    // For the log: the file, or "postgresql://user@host:port/db".
    QString Shown() const;
};

// The target a URL names; nothing, with `problem` said, for anything else. A relative SQLite
// path is taken in `folder`.
std::optional<DatabaseTarget> ParseDatabaseUrl(const QString& url, const QString& folder,
                                               QString& problem);

}  // namespace noxa
