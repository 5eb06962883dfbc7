// A make run against a scratch site with object records and settings given by the test instead of a
// definitions file.
#pragma once

#include <string>
#include <vector>

#include "builder/image/make_driver.h"
#include "builder/image/testing_view.h"
#include "common/name_hash.h"

namespace brindlecor::builder::testing {

struct FixedClock : WallClock {
    DateTime time{2026, 12, 10, 15, 4, 5};
    DateTime now() const override { return time; }
};

inline ObjectRecord objectRecord(const std::string& name, uint8_t type, int16_t size, int32_t address,
                                 InitialValue initial = {}) {
    ObjectRecord r;
    r.name = name;
    r.typeCode = type;
    r.size = size;
    r.address = address;
    r.initial = std::move(initial);
    r.direction = 3;
    r.hash = calcHASH(name);
    return r;
}

struct MakeFixture {
    ScratchDir dir;
    RecordingView view;
    FixedClock clock;
    std::vector<ObjectRecord> objects;  // what the definitions step declares
    bool definitionsError = false;
    Builder builder{view, clock,
                    [this](const std::string&, BuildSettings&, std::vector<ObjectRecord>& out, BuildLog& log,
                           MakeFiles&) {
                        out = objects;
                        if (definitionsError) log.reportError("", "Do not understand x y");
                    }};

    MakeFixture() {
        builder.log().setSilentErrors(true);
        builder.settings().siteRoot = dir.file("site");
        builder.settings().siteFile = dir.file("out.kvb");
        std::filesystem::create_directories(dir.file("site"));
    }
    void site(const std::string& relative, const std::string& bytes) const {
        dir.write("site/" + relative, bytes);
    }
    void make() { builder.make(dir.file("defs.kvd")); }
    std::string image() const { return dir.read("out.kvb"); }
    bool imageExists() const { return std::filesystem::exists(dir.file("out.kvb")); }
};

inline uint8_t at(const std::string& image, uint32_t address) {
    return static_cast<uint8_t>(image.at(address - 0x4000));
}

inline std::string bytesOf(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

}  // namespace brindlecor::builder::testing
