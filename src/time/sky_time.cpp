#include "time/sky_time.h"

#include "time/date_time.h"
#include "time/station_clock.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace noxa {
namespace {

// Strict integer conversion: the whole text must be an integer.
bool ReadInteger(std::string_view text, int& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The integer before the next `separator`, dropping the text through it.
bool TakeInteger(std::string_view& text, char separator, int& value) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) return false;
    const bool ok = ReadInteger(text.substr(0, at), value);
    text.remove_prefix(at + 1);
    return ok;
}

}  // namespace

int ParseIsoDateTime(std::string_view text, double& value) {
    if (text.empty()) return 0;
    int year, month, day, hour, minute, second;
    if (!TakeInteger(text, '-', year) || !TakeInteger(text, '-', month) ||
        !TakeInteger(text, 'T', day) || !TakeInteger(text, ':', hour) ||
        !TakeInteger(text, ':', minute) || !ReadInteger(text, second)) {
        return -1;
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()) return -1;
    value = ToDayNumber(QDateTime(date, time, Qt::UTC));
    return 0;
}

double J2000Epoch() {
    static const double epoch = [] {
        double value = 0;
        ParseIsoDateTime("2000-01-01T11:58:56", value);
        return value;
    }();
    return epoch;
}

double J2000Day(const QDateTime& now) {
    return ToDayNumber(now) - J2000Epoch();
}

double SkyTime::J2000Day() const {
    return noxa::J2000Day(clock_.Now());
}

float SkyTime::SiderealDegrees(float longitude) const {
    const double dayNumber = ToDayNumber(clock_.Now());
    const double hourAngle = (dayNumber - std::floor(dayNumber)) * 360;
    const double days = J2000Day();  // a second reading of the clock
    // Degrees per day since J2000 and at the epoch, in extended precision, then single.
    float s = static_cast<float>(static_cast<long double>(days) * 0.985647L + 100.46L + longitude +
                                 hourAngle);
    while (s > 360.0f) {
        const float next = s - 360.0f;
        // An absurd longitude from a damaged configuration makes a sum so large that taking
        // 360 off changes nothing; reduce it at once rather than loop for ever.
        if (next == s) {
            s = std::fmod(s, 360.0f);
            break;
        }
        s = next;
    }
    return s;
}

std::string SiderealText(double degrees) {
    const float x = static_cast<float>(degrees * (1.0 / 15));
    // Only an absurd longitude (a damaged configuration) gets here with no angle of a day or two.
    if (!std::isfinite(x) || std::fabs(x) > 48) return "--:--:--";
    const int h = std::abs(static_cast<int>(std::trunc(x)));
    const float mf = static_cast<float>((static_cast<double>(x) - h) * 60);
    const int m = std::abs(static_cast<int>(std::trunc(mf)));
    const float sf = static_cast<float>((static_cast<double>(mf) - m) * 60);
    const int s = std::abs(static_cast<int>(std::trunc(sf)));
    char text[40];
    std::snprintf(text, sizeof text, "%02i:%02i:%02i", h, m, s);
    return text;
}

}  // namespace noxa
