// A request head as the HTTP library hands it over, made from any bytes: the checks that decide
// whether it reaches a route, and the reading of its target. Whatever they take must be a
// request a route can be given; whatever they refuse gets an error status.
#include "outputs/web/request_check.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// The text up to the first `separator`, taken off `text`.
std::string_view Take(std::string_view& text, char separator) {
    const std::size_t at = text.find(separator);
    const std::string_view part = text.substr(0, at);
    text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string_view line = Take(text, '\n');
    noxa::RequestHead head;
    head.method = Take(line, ' ');
    head.target = Take(line, ' ');
    head.version = line;
    while (!text.empty()) {
        std::string_view field = Take(text, '\n');
        const std::string_view name = Take(field, ':');
        head.fields.emplace_back(name, field);
    }
    if (const auto refusal = noxa::CheckRequest(head, 4096)) {
        Check(refusal->status >= 400 && refusal->status < 600);
        return 0;
    }
    // A request taken has a target a route can read.
    const auto target = noxa::ParseTarget(head.target);
    Check(target.has_value());
    Check(target->path == "*" ? head.method == "OPTIONS" : target->path.startsWith('/'));
    Check(!target->path.contains('?') && !target->path.contains('#'));
    return 0;
}
