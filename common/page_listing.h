// A stored page written back with its compiled references as reference text, so that a reader sees what the
// device executes: ^name+3^ where the object's name is known, ^#0x0040+3^ where only its address is. A code
// sequence that no reference compiles to is shown as its bytes, ^{83 40 00 95 40 00 98}^.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace brindlecor {

// The name of the object a load code reads (a String's size with it), or "" when it is not known.
using ObjectNamer = std::function<std::string(uint8_t loadCode, uint16_t address, uint8_t size)>;

struct PageListing {
    std::string text;
    size_t references = 0;
    struct Problem {
        size_t offset;  // in the stored file
        std::string text;
    };
    std::vector<Problem> problems;  // sequences the builder never writes: cut off by the end of the file
};

PageListing listPage(std::span<const uint8_t> stored, const ObjectNamer& nameOf);

}  // namespace brindlecor
