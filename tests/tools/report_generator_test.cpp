#include "report_generator.h"

#include "core/broadcast_decoder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace noxa {
namespace {

TEST(ReportGenerator, ReportsHaveTheInstrumentsSizeAndShape) {
    for (const std::string name : {"q", "qelvoxxx", "a-twenty-char-name-x"}) {
        sim::ReportGenerator generator(name, 1);
        for (double t = 0; t < 86400; t += 997) {
            const std::string report = generator.Next(t);
            EXPECT_GE(report.size(), 221u) << report;
            EXPECT_LE(report.size(), 400u) << report;
            EXPECT_EQ(report.substr(report.size() - 2), "}}");
            EXPECT_NE(report.find(name), std::string::npos);
            EXPECT_LT(report.find("\"F4\""), report.find("\"tamb\""));
        }
    }
}

TEST(ReportGenerator, ReportsDecodeIntoRealisticReadings) {
    sim::ReportGenerator generator("qelvoxxx", 42);
    for (double t = 0; t < 6 * 3600; t += 60) {
        const Observation o = DecodeBroadcast(generator.Next(t)).observation;
        EXPECT_NEAR(o[ChannelId::C740].mag, 21.2f, 0.5f);
        EXPECT_NEAR(o[ChannelId::Blue].mag, 21.5f, 0.5f);
        EXPECT_NEAR(o.sensorTemperature, 10.0f, 2.0f);
        EXPECT_NEAR(o.skyTemperature, -15.0f, 4.0f);
        EXPECT_FLOAT_EQ(o[ChannelId::C740].zeroPoint, 20.5f);
        // The frequencies agree with the magnitudes and zero points.
        EXPECT_NEAR(o[ChannelId::C740].zeroPoint - 2.5f * std::log10(o[ChannelId::C740].freq),
                    o[ChannelId::C740].mag, 0.01f);
        EXPECT_GT(o[ChannelId::Green].freq, 0.0f);  // channel 2 outshines red and blue together
    }
}

}  // namespace
}  // namespace noxa
