#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace noxa {

// How much a log line matters: an error lost or stopped something, a warning is something the
// user should look at, info is the station's normal account, debug is for finding faults.
enum class LogLevel : std::uint8_t { Error, Warning, Info, Debug };

// "error", "warning", "info", "debug"; and back, false for anything else.
std::string_view LevelName(LogLevel level);
bool ParseLevel(std::string_view name, LogLevel& level);

// What a part of the station says, and how much it matters: a handle on the station's one log,
// cheap to copy. A default handle says nothing.
class Log {
public:
    using Sink = std::function<void(LogLevel level, std::string_view line)>;

    Log() = default;
    explicit Log(Sink sink) : sink_(std::move(sink)) {}

    void operator()(LogLevel level, std::string_view line) const {
        if (sink_) sink_(level, line);
    }
    void Error(std::string_view line) const { (*this)(LogLevel::Error, line); }
    void Warning(std::string_view line) const { (*this)(LogLevel::Warning, line); }
    void Info(std::string_view line) const { (*this)(LogLevel::Info, line); }
    void Debug(std::string_view line) const { (*this)(LogLevel::Debug, line); }

private:
    Sink sink_;
};

}  // namespace noxa
