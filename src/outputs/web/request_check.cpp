#include "outputs/web/request_check.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>

namespace noxa {
namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The methods a client of ours may send; any other is not implemented here.
bool IsKnownMethod(std::string_view method) {
    static const std::string_view kKnown[] = {"GET",    "HEAD",    "POST", "PUT",
                                              "DELETE", "OPTIONS", "PATCH"};
    return std::find(std::begin(kKnown), std::end(kKnown), method) != std::end(kKnown);
}

// A Content-Length that is digits only, of a sane size; none otherwise.
std::optional<long long> PlainLength(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() > 15) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// A field value holds visible characters, spaces, tabs and bytes of other encodings; a bare CR
// or any other control character is refused, not guessed at.
bool IsFieldValue(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u != '\t' && (u < 0x20 || u == 0x7f);
    });
}

}  // namespace

std::optional<Target> ParseTarget(std::string_view target) {
    if (target == "*") return Target{"*", {}};
    if (target.empty()) return std::nullopt;
    if (target.front() != '/') {
        // The absolute form: a scheme of ours, then the authority up to the path.
        const std::size_t scheme = target.find("://");
        if (scheme == std::string_view::npos || !(SameText(target.substr(0, scheme), "http") ||
                                                  SameText(target.substr(0, scheme), "https")))
            return std::nullopt;
        target.remove_prefix(scheme + 3);
        const std::size_t rest = target.find_first_of("/?#");
        if (rest == 0 || target.empty()) return std::nullopt;
        target = rest == std::string_view::npos ? std::string_view() : target.substr(rest);
    }
    const std::size_t hash = target.find('#');
    if (hash != std::string_view::npos) target = target.substr(0, hash);
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    Target out;
    out.path = path.empty() ? QByteArray("/") : QByteArray(path.data(), qsizetype(path.size()));
    out.query = QByteArray(query.data(), qsizetype(query.size()));
    return out;
}

std::optional<HttpRefusal> CheckRequest(const RequestHead& head, long long maxBodyBytes) {
    const HttpRefusal bad;
    if (!IsKnownMethod(head.method)) return HttpRefusal{501, "Not Implemented"};
    const auto target = ParseTarget(head.target);
    if (!target || (target->path == "*" && head.method != "OPTIONS")) return bad;
    const bool http10 = head.version == "HTTP/1.0";
    int hosts = 0;
    int codings = 0;
    bool chunked = false;
    std::optional<long long> length;
    for (const auto& [name, value] : head.fields) {
        if (!IsFieldValue(name) || !IsFieldValue(value)) return bad;
        if (SameText(name, "host")) {
            ++hosts;
        } else if (SameText(name, "content-length")) {
            const auto parsed = PlainLength(value);
            if (!parsed || (length && *length != *parsed)) return bad;
            length = parsed;
        } else if (SameText(name, "transfer-encoding")) {
            std::string_view rest = value;
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string_view coding = Trim(rest.substr(0, comma));
                rest =
                    comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
                if (coding.empty()) continue;
                ++codings;
                // Chunked must be the last coding and come once.
                if (chunked) return bad;
                chunked = SameText(coding, "chunked");
            }
        }
    }
    if (hosts > 1 || (!http10 && hosts == 0)) return bad;
    if (codings > 0) {
        if (length || http10 || !chunked) return bad;
        if (codings > 1) return HttpRefusal{501, "Not Implemented"};
    }
    if (length && *length > maxBodyBytes) return HttpRefusal{413, "Content Too Large"};
    return std::nullopt;
}

}  // namespace noxa
