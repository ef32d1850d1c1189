#include "outputs/ida/ida_output.h"

#include "outputs/ida/ida_night_file.h"
#include "time/sun_moon.h"

#include <string>
#include <utility>

namespace noxa {
namespace {

class RunningNightFiles : public Output {
public:
    RunningNightFiles(OutputContext& context, IdaSite site)
        : services_(context.services),
          file_(context.feed, context.clock, context.dir, std::move(site), context.siteZone,
                context.log) {
        services_.tonightsNightFile = [this] { return file_.CurrentFilePath(); };
        context.log.Info("Night files in " + context.dir.Path("ida/"));
    }
    ~RunningNightFiles() override { services_.tonightsNightFile = nullptr; }

private:
    OutputServices& services_;
    IdaNightFile file_;
};

// Says once at start which site texts are too long for their header lines.
void WarnOfOverlongTexts(const IdaSite& site, const Log& log) {
    constexpr std::pair<std::string IdaSite::*, const char*> kOptions[] = {
        {&IdaSite::licence, "--site-licence"},
        {&IdaSite::instrumentId, "--site-instrument-id"},
        {&IdaSite::contact, "--site-contact"},
        {&IdaSite::locationName, "--site-location"},
    };
    std::string options;
    for (const auto overlong : IdaOverlongTexts(site)) {
        for (const auto& [field, option] : kOptions)
            if (field == overlong) options += (options.empty() ? "" : ", ") + std::string(option);
    }
    if (options.empty()) return;
    log.Warning("Night files: " + options + " longer than a header line holds (" +
                std::to_string(kIdaHeaderLineLimit) +
                " characters): the rest goes on a comment line");
}

std::unique_ptr<Output> Start(const Settings& settings, OutputContext& context) {
    const bool enabled = settings.OnOff("ida/enabled");
    IdaSite site;
    site.height = settings.Number("site/height", -500, 9000);
    site.fieldOfView = settings.Number("site/field_of_view", 0, 180);
    if (!enabled) return nullptr;
    const QString id = settings.Text("site/instrument_id");
    site.instrumentId = id.isEmpty() ? context.stationName : id.toStdString();
    site.locationName = settings.Text("site/location").toStdString();
    site.latitude = context.place.latitude;
    site.longitude = context.place.longitude;
    site.contact = settings.Text("site/contact").toStdString();
    site.licence = settings.Text("site/licence").toStdString();
    WarnOfOverlongTexts(site, context.log);
    return std::make_unique<RunningNightFiles>(context, std::move(site));
}

}  // namespace

OutputKind IdaOutput() {
    return {{
                {"ida/enabled", "ida", "on|off", "off",
                 "Write a night file in the skyglow community's format for every night, in ida/."},
                {"site/instrument_id", "site-instrument-id", "id", "",
                 "The instrument's id in the night files; empty means the station name."},
                {"site/height", "site-height", "metres", "", "The site's height above sea level."},
                {"site/field_of_view", "site-field-of-view", "degrees", "",
                 "The instrument's field of view."},
                {"site/contact", "site-contact", "text", "",
                 "Who supplies the data: name, affiliation, mail address."},
                {"site/licence", "site-licence", "text", "",
                 "The licence the data are released under."},
            },
            Start};
}

}  // namespace noxa
