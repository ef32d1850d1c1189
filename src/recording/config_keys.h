#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace noxa {

class FormModel;
struct StationConfig;

// The settings of "Noxa.cfg" that can be set by name from the command line, as KEY=VALUE.
// A value goes into the settings page's edit fields, so that the record is then built and
// written exactly as "Save Changes" builds and writes it.
struct ConfigKey {
    const char* name;
    const char* values;  // what the key takes, for messages and help
};
const std::vector<ConfigKey>& ConfigKeys();

// Checks one "KEY=VALUE" and puts the value into the edit fields. Returns why it was refused,
// naming the key or the value, or an empty text when it was taken.
std::string ApplyConfigSetting(FormModel& form, std::string_view assignment);

// Puts a signed position in decimal degrees into the degrees, minutes and hemisphere fields,
// the minutes with their decimals, so that a save stores it to the record's three decimals.
void SetPositionFields(FormModel& form, double latitude, double longitude);

// The settings as the station reads them, one "key=value" line each: the station name, the
// position in signed decimal degrees, the serial port number, the IP port and the intervals.
std::vector<std::string> ConfigValues(const FormModel& form, const StationConfig& config);

}  // namespace noxa
