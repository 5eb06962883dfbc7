// Byte strings written as lists of numbers, for expected image contents and serial commands: bytes({0x80,
// 30}).
#pragma once

#include <initializer_list>
#include <string>

namespace brindlecor::testing {

inline std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

}  // namespace brindlecor::testing
