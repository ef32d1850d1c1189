#include "night_generator.h"

#include "core/sky_quality.h"
#include "support/temp_dir.h"
#include "time/sun_moon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace noxa {
namespace {

sim::NightRun SiteRun(const QString& folder) {
    sim::NightRun run;
    run.folder = folder;
    run.site.instrumentId = "sim";
    run.site.latitude = 48.1, run.site.longitude = 11.6;
    run.zone = QTimeZone("Europe/Berlin");
    return run;
}

TEST(NightGenerator, FilesKeepTheFormatsRules) {
    test::ScopedWorkDir dir;
    sim::NightRun run = SiteRun(dir.Path());
    // The second night is the one clocks go forward in: 23 hours.
    run.from = QDate(2024, 3, 29), run.days = 2, run.kind = sim::NightKind::Mixed;
    std::string error;
    ASSERT_TRUE(sim::WriteNightFiles(run, error)) << error;
    for (const auto& [day, lines] : {std::pair{"20240329", 1440}, {"20240330", 1380}}) {
        const std::string text = dir.ReadFile(QStringLiteral("%1_120000_sim.dat").arg(day));
        ASSERT_GT(text.size(), 2u);
        ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
        std::vector<std::string> rows;
        for (size_t at = 0, end; at < text.size(); at = end + 2) {
            end = text.find('\n', at) - 1;
            ASSERT_EQ(text[end], '\r') << "line " << rows.size();
            rows.push_back(text.substr(at, end - at));
        }
        ASSERT_EQ(rows.size(), 35u + lines);
        EXPECT_EQ(rows[34], "# END OF HEADER");
        EXPECT_TRUE(std::all_of(rows.begin(), rows.begin() + 35,
                                [](const std::string& r) { return r[0] == '#'; }));
        EXPECT_EQ(rows[35].substr(24, 23),
                  std::string(day).insert(4, "-").insert(7, "-") + "T12:00:00.000");
        for (int i = 36; i < 35 + lines; ++i) {
            EXPECT_LT(rows[i - 1].substr(0, 23), rows[i].substr(0, 23));
            EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), ';'), kIdaFieldsPerLine - 1)
                << rows[i];
        }
    }
}

TEST(NightGenerator, CloudsAndTheMoonBrightenTheSky) {
    const sim::NightRun run = SiteRun({});
    const sim::NightGenerator generator(run.site, run.zone, 300, 7);
    // The medians of the dark hours (Sun below -18°) of one night.
    const auto dark = [&](QDate night, sim::Weather weather,
                          const std::function<float(const IntervalRecord&)>& value) {
        std::vector<float> values;
        for (const IntervalRecord& r : generator.Records(night, weather)) {
            if (ComputeSunMoon(r.end, 48.1, 11.6).sunAltitude < -18) values.push_back(value(r));
        }
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    const auto mag = [](const IntervalRecord& r) { return r[ChannelId::C740].mag; };
    const auto cloud = [](const IntervalRecord& r) {
        return CloudIndex(*r.sensorTemperature, *r.skyTemperature);
    };
    const QDate newMoon(2024, 1, 11), fullMoon(2024, 1, 25);
    const float clear = dark(newMoon, sim::Weather::Clear, mag);
    EXPECT_NEAR(clear, 21.5f, 0.3f);
    EXPECT_LT(dark(newMoon, sim::Weather::Cloudy, mag), clear - 1.0f);
    EXPECT_LT(dark(fullMoon, sim::Weather::Clear, mag), clear - 1.5f);
    EXPECT_LT(dark(newMoon, sim::Weather::Clear, cloud), 50);
    EXPECT_GT(dark(newMoon, sim::Weather::Cloudy, cloud), 85);

    // The same seed gives the same night; full-Moon runs start at the full Moon.
    EXPECT_EQ(generator.Records(newMoon, sim::Weather::Broken)[200][ChannelId::Blue].mag,
              generator.Records(newMoon, sim::Weather::Broken)[200][ChannelId::Blue].mag);
    sim::NightRun moonRun = SiteRun({});
    moonRun.from = QDate(2024, 1, 20), moonRun.kind = sim::NightKind::FullMoon;
    EXPECT_EQ(sim::PlanNights(moonRun).front().first, fullMoon);
}

}  // namespace
}  // namespace noxa
