#pragma once

#include <string>

namespace noxa {

// Whether something that is tried again and again (a file written at every record) is failing,
// so that the log says so once when it starts failing, once when the reason changes and once
// when it works again, never at every try.
class FailureState {
public:
    // A try failed: true when the log should say so (a new failure or another reason).
    bool Failed(const std::string& reason) {
        if (failing_ && reason == reason_) return false;
        failing_ = true;
        reason_ = reason;
        return true;
    }
    // A try succeeded: true when that ends a run of failures.
    bool Succeeded() {
        const bool was = failing_;
        failing_ = false;
        reason_.clear();
        return was;
    }
    bool Failing() const { return failing_; }

private:
    bool failing_ = false;
    std::string reason_;
};

}  // namespace noxa
