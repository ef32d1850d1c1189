#pragma once

#include <QTimeZone>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace noxa {

// Who observes where, for the header of the night files. Empty texts and missing numbers are
// written as "unknown".
struct IdaSite {
    std::string instrumentId;
    std::string locationName;
    double latitude = 0, longitude = 0;  // degrees, north and east positive
    std::optional<double> height;        // metres above sea level
    std::optional<double> fieldOfView;   // degrees
    std::string contact;                 // the data supplier: name, affiliation, mail address
    std::string licence;
};

// The instrument constants (zero points) of channels 1 to 4, as the reports give them.
using ZeroPoints = std::array<float, 4>;

// The night files' fixed number of header lines, and of fields on each line.
inline constexpr int kIdaHeaderLines = 35;
inline constexpr int kIdaFieldsPerLine = 15;
// The longest header line the format allows; its user comment lines may run longer.
inline constexpr std::size_t kIdaHeaderLineLimit = 150;
// How the format writes a value that is not known.
inline constexpr const char* kIdaUnknown = "unknown";
// The header's last line.
inline constexpr const char* kIdaEndOfHeader = "# END OF HEADER";

// `text` in printable ASCII: accents are dropped from their letters, anything else becomes "?",
// tabs and line breaks spaces; an empty text is "unknown".
std::string IdaAscii(const std::string& text);

// The header of a station in `zone` whose instrument reported `zeroPoints` (unknown before its
// first report), without line ends. A site text too long for its line is cut there at a space
// and goes on, named, on one of the comment lines, which the format lets run longer.
std::vector<std::string> IdaHeader(const IdaSite& site, const QTimeZone& zone,
                                   const std::optional<ZeroPoints>& zeroPoints);

// The site's texts that are too long for their header lines.
std::vector<std::string IdaSite::*> IdaOverlongTexts(const IdaSite& site);

}  // namespace noxa
