#pragma once

#include <string>

namespace noxa::test {

// A frame of `length` bytes (at least 40) shaped like an instrument report: it opens with
// "{", holds nested braces and ends with "}}".
inline std::string MakeFrame(std::size_t length, char fill = 'a') {
    std::string frame = R"({"name":"qelvoxxx","F1":{"freq":1.5},)";
    frame.resize(length - 2, fill);
    return frame + "}}";
}

}  // namespace noxa::test
