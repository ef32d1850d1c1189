#pragma once

#include <string>
#include <string_view>

class QDateTime;

namespace noxa {

class StationClock;

// Reads year-month-dayThour:minute:second into `value` (a day number). Returns 0 when the text
// was empty (value untouched) or was read (value replaced by exactly that date and time), and
// -1 when a part is not an integer or the numbers make no valid date and time (untouched).
int ParseIsoDateTime(std::string_view text, double& value);

// The epoch J2000 as the station has always taken it: 1 January 2000, 11:58:56.
double J2000Epoch();

// Days since the epoch, with the fraction, for a local date-time taken as universal time.
double J2000Day(const QDateTime& now);

// The time of the observation in the forms the station shows: the J2000 day and the local
// sidereal time at the observer's longitude. The clock is used as it reads, without any
// time-zone correction, so the sidereal time is right when the computer's clock runs on
// universal time.
class SkyTime {
public:
    explicit SkyTime(const StationClock& clock) : clock_(clock) {}

    // Days since J2000 now.
    double J2000Day() const;

    // Local sidereal time in degrees, in single precision as the station keeps it: the sum is
    // rounded to single precision, then 360 is taken off while it is above 360.
    float SiderealDegrees(float longitude) const;

private:
    const StationClock& clock_;
};

// Sidereal degrees as hh:mm:ss, each part cut (not rounded) from single-precision values;
// "--:--:--" for a value that is no angle.
std::string SiderealText(double degrees);

}  // namespace noxa
