#pragma once

#include <stdexcept>

namespace noxa {

// An error that stops the handler it arises in and goes to the station's general error handler,
// which shows it to the user (a message box, or a log line and standard error without a window).
class StationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace noxa
