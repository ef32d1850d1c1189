#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace noxa::sim {

// Makes instrument reports with realistic, slowly varying values: sky brightness near
// 21 mag/arcsec² drifting over hours, a sensor near 10 °C and an infrared sky near -15 °C.
// Reports have the instrument's layout: the station name, "F1" to "F4" with "freq" first,
// then "mag" and "zp", the two temperatures in the "F4" object, closing with "}}".
class ReportGenerator {
public:
    ReportGenerator(std::string stationName, std::uint32_t seed);

    // The report for `secondsSinceStart` seconds after the simulation began.
    std::string Next(double secondsSinceStart);

private:
    double Noise(double spread);

    std::string stationName_;
    std::mt19937 random_;
    std::uint32_t sequence_ = 0;
};

}  // namespace noxa::sim
