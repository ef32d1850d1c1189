#include "archive/database_url.h"

#include <QDir>
#include <QUrl>

namespace noxa {

QString DatabaseTarget::Shown() const {
    if (engine == Engine::Sqlite) return path;
    return QStringLiteral("postgresql://%1%2:%3/%4")
        .arg(user.isEmpty() ? QString() : user + "@", host)
        .arg(port)
        .arg(database);
}

std::optional<DatabaseTarget> ParseDatabaseUrl(const QString& url, const QString& folder,
                                               QString& problem) {
    DatabaseTarget target;
    if (url.startsWith("sqlite:")) {
        const QString path = url.mid(7);
        if (path.isEmpty()) {
            problem = "the SQLite URL names no file";
            return std::nullopt;
        }
        target.path = QDir(folder.isEmpty() ? "." : folder).filePath(path);
        return target;
    }
    const QUrl parsed(url, QUrl::StrictMode);
    const bool postgres = parsed.scheme() == "postgresql" || parsed.scheme() == "postgres";
    if (!parsed.isValid() || !postgres) {
        problem = "not sqlite:PATH or postgresql://USER@HOST:PORT/DB";
        return std::nullopt;
    }
    if (!parsed.password().isEmpty()) {
        problem = "a password does not belong in the URL; put it in [archive] db_password";
        return std::nullopt;
    }
    target.engine = DatabaseTarget::Engine::Postgres;
    target.user = parsed.userName();
    target.host = parsed.host().isEmpty() ? QStringLiteral("localhost") : parsed.host();
    target.port = parsed.port(5432);
    target.database = parsed.path().mid(1);
    if (target.database.isEmpty() || target.database.contains('/')) {
        problem = "the URL names no database";
        return std::nullopt;
    }
    return target;
}

}  // namespace noxa
