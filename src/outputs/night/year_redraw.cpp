#include "outputs/night/year_redraw.h"

#include "night/night_watcher.h"

#include <QtConcurrent>

#include <vector>

namespace noxa {

YearRedraw::YearRedraw(NightWatcher& watcher, std::function<StationYearSources()> sources,
                       QString folder, float cloudyAbovePercent, Log log)
    : sources_(std::move(sources)),
      folder_(std::move(folder)),
      cloudyAbove_(cloudyAbovePercent),
      log_(std::move(log)) {
    connect(&watcher, &NightWatcher::nightWritten, this, &YearRedraw::Redraw);
    connect(&run_, &QFutureWatcher<QString>::finished, this, &YearRedraw::Done);
}

YearRedraw::~YearRedraw() {
    run_.waitForFinished();
}

void YearRedraw::Redraw(const Night& night) {
    const int year = night.date.year();
    if (!kept_.empty() && kept_.begin()->first.year() != year) {
        if (kept_.begin()->first.year() > year) return;  // a night of a year gone by, late
        kept_.clear();
    }
    kept_[night.date] = night;
    pendingYear_ = year;
    if (!run_.isRunning()) Start();
}

void YearRedraw::Start() {
    const int year = pendingYear_;
    pendingYear_ = 0;
    std::vector<Night> kept;
    kept.reserve(kept_.size());
    for (const auto& [date, night] : kept_) kept.push_back(night);
    run_.setFuture(QtConcurrent::run([sources = sources_(), year, kept = std::move(kept),
                                      folder = folder_, cloudy = cloudyAbove_]() mutable {
        const std::vector<Night> nights = ReadStationYear(sources, year, std::move(kept));
        QString error;
        return WriteStationYear(nights, year, folder, cloudy, error) ? QString() : error;
    }));
}

void YearRedraw::Done() {
    const QString error = run_.result();
    if (error.isEmpty()) {
        if (failures_.Succeeded())
            log_.Info("The year's chart and monthly.csv are written again in " +
                      folder_.toStdString());
    } else if (!failures_.Failing()) {
        failures_.Failed(error.toStdString());
        log_.Error("The year's chart and monthly.csv not written: " + error.toStdString());
    }
    if (pendingYear_ != 0) Start();
    emit finished();
}

}  // namespace noxa
