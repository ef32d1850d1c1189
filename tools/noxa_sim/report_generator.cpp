#include "report_generator.h"

#include "core/c_numbers.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace noxa::sim {
namespace {

struct Channel {
    const char* key;
    double zeroPoint;
    double meanMagnitude;
    double phase;
};

// 740 nm, 640 nm, red and blue: zero points and typical dark-sky magnitudes.
constexpr Channel kChannels[] = {
    {"F1", 20.50, 21.20, 0.0},
    {"F2", 20.80, 20.90, 0.4},
    {"F3", 19.60, 20.80, 0.8},
    {"F4", 19.40, 21.50, 1.2},
};

double Wave(double seconds, double periodHours, double phase) {
    return std::sin(2 * std::numbers::pi * seconds / (periodHours * 3600) + phase);
}

}  // namespace

ReportGenerator::ReportGenerator(std::string stationName, std::uint32_t seed)
    : stationName_(std::move(stationName)), random_(seed) {}

double ReportGenerator::Noise(double spread) {
    return std::normal_distribution<double>(0.0, spread)(random_);
}

std::string ReportGenerator::Next(double t) {
    std::string report = "{\"name\":\"" + stationName_ +
                         "\",\"fw\":\"V4I-2.3\",\"seq\":" + std::to_string(sequence_++) +
                         ",\"per\":1.000";
    for (const Channel& c : kChannels) {
        const double magnitude = c.meanMagnitude + 0.3 * Wave(t, 3.0, c.phase) + Noise(0.02);
        // The instrument's magnitude is its zero point less 2.5 log10 of the frequency.
        const double frequency = std::pow(10.0, (c.zeroPoint - magnitude) / 2.5);
        report += ",\"";
        report += c.key;
        report += "\":{\"freq\":" + CFormat("%.3f", frequency) +
                  ",\"mag\":" + CFormat("%.2f", magnitude) +
                  ",\"zp\":" + CFormat("%.2f", c.zeroPoint);
        if (c.key == std::string("F4")) {
            const double sensor = 10.0 + 1.5 * Wave(t, 6.0, 0.0) + Noise(0.05);
            const double sky = -15.0 + 3.0 * Wave(t, 2.0, 1.0) + Noise(0.1);
            report += ",\"tamb\":" + CFormat("%.2f", sensor) + ",\"tsky\":" + CFormat("%.2f", sky);
        }
        report += "}";
    }
    report += "}";
    return report;
}

}  // namespace noxa::sim
