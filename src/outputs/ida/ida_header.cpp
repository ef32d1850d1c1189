#include "outputs/ida/ida_header.h"

#include "core/c_numbers.h"

#include <QString>

#include <cstring>

namespace noxa {
namespace {

// The channels as the columns name them: 1 (740 nm), 2 (640 nm), red, the derived green, blue.
constexpr const char* kChannels[] = {"1", "2", "R", "G", "B"};
constexpr int kCommentLines = 5;

// A site text: the start of its header line and the name under which what does not fit there
// goes on a comment line.
struct SiteText {
    std::string IdaSite::*field;
    const char* lineStart;
    const char* name;
};

constexpr SiteText kLicence{&IdaSite::licence,
                            "# This data is released under the following license: ", "License"};
constexpr SiteText kInstrument{&IdaSite::instrumentId, "# Instrument ID: ", "Instrument ID"};
constexpr SiteText kSupplier{&IdaSite::contact, "# Data supplier: ", "Data supplier"};
constexpr SiteText kLocation{&IdaSite::locationName, "# Location name: ", "Location name"};
constexpr const SiteText* kSiteTexts[] = {&kLicence, &kInstrument, &kSupplier, &kLocation};

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The site text's header line within the limit, cut at the last space that keeps it there
// (at the limit itself when the value has no such space); `rest` is what was cut off.
std::string FittedLine(const SiteText& text, const IdaSite& site, std::string& rest) {
    std::string line = text.lineStart + IdaAscii(site.*text.field);
    rest.clear();
    if (line.size() <= kIdaHeaderLineLimit) return line;
    std::size_t cut = line.rfind(' ', kIdaHeaderLineLimit);
    if (cut == std::string::npos || cut <= std::strlen(text.lineStart)) cut = kIdaHeaderLineLimit;
    rest = Trimmed(line.substr(cut));
    return Trimmed(line.substr(0, cut));
}

// Channel G is derived with channel 2's zero point.
std::string ZeroPointLine(const std::optional<ZeroPoints>& zeroPoints) {
    std::string line = "# Zero points (ZP) of channels 1, 2, R, G, B: ";
    if (!zeroPoints) return line + kIdaUnknown;
    const ZeroPoints& zp = *zeroPoints;
    std::string values;
    for (const float value : {zp[0], zp[1], zp[2], zp[1], zp[3]})
        values += (values.empty() ? "" : ", ") + CFormat("%.2f", value);
    return line + values;
}

// The first six fields are the format's one-channel layout, with channel 1 in it, so that a
// reader of that layout reads channel 1 right; the sky's temperature and the other channels
// follow. The sky's temperature, which the format does not have, is in "degC": "Celsius" would
// make the units' line longer than the format's 150 characters.
std::string ColumnNames() {
    std::string names =
        "# UTC Date & Time, Local Date & Time, Temperature, Counts, Frequency, MSAS, "
        "Sky Temperature";
    for (std::size_t i = 1; i < std::size(kChannels); ++i)
        names += std::string(", Freq") + kChannels[i] + ", MSAS" + kChannels[i];
    return names;
}

std::string ColumnUnits() {
    std::string units =
        "# YYYY-MM-DDTHH:mm:ss.fff;YYYY-MM-DDTHH:mm:ss.fff;Celsius;number;Hz;mag/arcsec^2;degC";
    for (std::size_t i = 1; i < std::size(kChannels); ++i) units += ";Hz;mag/arcsec^2";
    return units;
}

}  // namespace

std::string IdaAscii(const std::string& text) {
    const QString decomposed = QString::fromUtf8(text).normalized(QString::NormalizationForm_KD);
    std::string out;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing) continue;
        const char16_t u = c.unicode();
        if (u == '\t' || u == '\r' || u == '\n') {
            out += ' ';
        } else if (u >= 0x20 && u < 0x7f) {
            out += static_cast<char>(u);
        } else {
            out += '?';
        }
    }
    out = Trimmed(out);
    return out.empty() ? kIdaUnknown : out;
}

std::vector<std::string> IdaHeader(const IdaSite& site, const QTimeZone& zone,
                                   const std::optional<ZeroPoints>& zeroPoints) {
    std::vector<std::string> comments;
    const auto siteLine = [&](const SiteText& text) {
        std::string rest;
        std::string line = FittedLine(text, site, rest);
        if (!rest.empty())
            comments.push_back("# Comment: " + std::string(text.name) + ", continued: " + rest);
        return line;
    };
    const std::string height = site.height ? CFormat("%.0f", *site.height) : kIdaUnknown;
    const std::string fov = site.fieldOfView ? CFormat("%.1f", *site.fieldOfView) : kIdaUnknown;
    // A braced list is evaluated in order: the comment lines follow the header's order.
    std::vector<std::string> header = {
        "# Community Standard Skyglow Data Format 1.0",
        "# URL: "
        "https://www.darksky.org/wp-content/uploads/bsk-pdf-manager/47_SKYGLOW_DEFINITIONS.PDF",
        "# Number of header lines: " + std::to_string(kIdaHeaderLines),
        siteLine(kLicence),
        "# Device type: Noxa four-channel night-sky photometer",
        siteLine(kInstrument),
        siteLine(kSupplier),
        siteLine(kLocation),
        "# Position (lat, lon, elev(m)): " + CFormat("%.5f", site.latitude) + ", " +
            CFormat("%.5f", site.longitude) + ", " + height,
        "# Local timezone: " + IdaAscii(zone.id().toStdString()),
        "# Time Synchronization: the station computer's clock",
        "# Moving / Stationary position: STATIONARY",
        "# Moving / Fixed look direction: FIXED",
        "# Number of channels: " + std::to_string(std::size(kChannels)),
        "# Filters per channel: 740 nm, 640 nm, red, green (derived), blue",
        "# Measurement direction per channel: 0., 0., 0., 0., 0., 0., 0., 0., 0., 0.",
        "# Field of view (degrees): " + fov,
        "# Number of fields per line: " + std::to_string(kIdaFieldsPerLine),
        "# Channels: 1 = 740 nm (Frequency, MSAS), 2 = 640 nm, R = red, B = blue, G = 640 nm less "
        "red and blue",
        ZeroPointLine(zeroPoints),
        "# Each line: the means of one record's interval, timed at its end; a value not "
        "measured is unknown",
        "# Frequencies (Freq) in Hz; sky brightness (MSAS) in mag/arcsec^2, for each report "
        "ZP - 2.5*log10(Freq)",
        "# Temperatures: the sensor's and the sky's (infrared); Counts: not measured (unknown)",
        "# Times: ISO 8601, UTC and the station's local time",
    };
    comments.resize(kCommentLines, "# Comment: ");
    header.insert(header.end(), comments.begin(), comments.end());
    for (const char* line : {"# blank line 30", "# blank line 31", "# blank line 32"})
        header.emplace_back(line);
    header.push_back(ColumnNames());
    header.push_back(ColumnUnits());
    header.emplace_back(kIdaEndOfHeader);
    return header;
}

std::vector<std::string IdaSite::*> IdaOverlongTexts(const IdaSite& site) {
    std::vector<std::string IdaSite::*> overlong;
    std::string rest;
    for (const SiteText* text : kSiteTexts) {
        FittedLine(*text, site, rest);
        if (!rest.empty()) overlong.push_back(text->field);
    }
    return overlong;
}

}  // namespace noxa
