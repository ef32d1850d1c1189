#pragma once

#include <set>
#include <string>

namespace noxa {

// The retained topics the station published on its last connection, remembered in a small
// file of its folder, one topic a line, so that the topics it no longer publishes (after the
// station was renamed or a prefix changed) can be cleared from the broker.

// The topics in `path`; none when the file is missing or unreadable.
std::set<std::string> ReadPublishedTopics(const std::string& path);

// Replaces the file's topics, atomically; false with `error` set when it cannot.
bool WritePublishedTopics(const std::string& path, const std::set<std::string>& topics,
                          std::string& error);

}  // namespace noxa
