#include "outputs/mqtt/mqtt_topics_record.h"

#include <QFile>
#include <QSaveFile>

namespace noxa {

std::set<std::string> ReadPublishedTopics(const std::string& path) {
    std::set<std::string> topics;
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) return topics;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n')) line.chop(1);
        if (!line.isEmpty()) topics.insert(line.toStdString());
    }
    return topics;
}

bool WritePublishedTopics(const std::string& path, const std::set<std::string>& topics,
                          std::string& error) {
    QSaveFile file(QFile::decodeName(path.c_str()));
    if (file.open(QIODevice::WriteOnly)) {
        for (const std::string& topic : topics) {
            // A topic with a line break cannot be told apart from two; it is not kept.
            if (topic.find_first_of("\r\n") != std::string::npos) continue;
            file.write(topic.data(), static_cast<qint64>(topic.size()));
            file.write("\n");
        }
        if (file.commit()) return true;
    }
    error = file.errorString().toStdString();
    return false;
}

}  // namespace noxa
