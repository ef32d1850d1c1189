#pragma once

#include <optional>
#include <string>

namespace noxa::indi {

// The part of the station's /api/readings answer the weather driver shows. A reading the
// station does not know now (null in the JSON) is empty.
struct StationReadings {
    std::optional<double> magV;
    std::optional<double> temperature;
    std::optional<double> skyTemperature;
    std::optional<double> cloudCover;
    std::optional<double> nelm;
    std::optional<double> ageSeconds;
    bool linkOk = false;
    // The station's safety verdict, from its [safety] settings, and why it is unsafe.
    bool safe = false;
    std::string unsafeReason;
};

// The body of an HTTP/1.0 GET of `url` ("http://host[:port][/path]"), or empty when the URL is
// not of that form, nothing answers within `timeoutMs` in all, or the answer is not 200 OK.
// Blocks for at most about `timeoutMs`.
std::optional<std::string> HttpGet(const std::string& url, int timeoutMs);

// The readings of an /api/readings answer; empty when the text is not a JSON object.
std::optional<StationReadings> ParseReadings(const std::string& json);

}  // namespace noxa::indi
