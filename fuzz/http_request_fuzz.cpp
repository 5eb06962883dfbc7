// Fuzz target: the input as an HTTP request to a device holding a small fixed site, with and without page
// headers, and as the query of a form handler (.kvi) request.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_target.h"
#include "server/emulation/device.h"
#include "server/emulation/http_responder.h"
#include "server/emulation/image_fixture.h"

namespace {

namespace srv = brindlecor::server;

// Every object kind, objects at the top of RAM and on the registers with effects, and pages that use every
// group of codes, so that requests and queries reach all of them.
std::vector<uint8_t> siteImage() {
    return brindlecor::testing::ImageFixture()
        .ram(0x40, "\xC8")
        .ram(0x42, "\xFF\xFF")
        .ram(0x44, "\x00\x00\x00\x80")
        .ram(0x48, "Hi")
        .ram(0x50, "\xFE\xFF\xFF\x7F")
        .ram(0x2E0, "\x02")
        .object("temp", 0x40, 1, 0x21)
        .object("level", 0x42, 2, 0x22)
        .object("total", 0x44, 4, 0xA4)
        .object("greeting", 0x48, 4, 0x27)
        .object("lamp", 1, 1, 0x20)
        .object("code", 0x4C, 1, 0x23)
        .object("locked", 0x4D, 1, 0x29)
        .object("count", 0x50, 4, 0x24)
        .object("edge", 0xFFFF, 2, 0x22)
        .object("tail", 0xFFFE, 8, 0x27)
        .object("serial", 0xFF19, 1, 0x21)
        .object("send", 0xFF1E, 1, 0x21)
        .object("bigbit", 0x1FF, 1, 0x20)
        .file("index.htm", 0x40,
              "Temp: ^\x83\x40\x00\x98 C ^\x86\x42\x00\x98 ^\x89\x44\x00\x98 ^\x9E\x04\x48\x00 ^^")
        .file("calc.htm", 0x40,
              "^\x83\x40\x00\x8C\x03\xB0\x98 ^\x86\x42\x00\x8F\x10\x00\xAD\x98 ^\x95\x50\x00\x89\x50\x00\x98 "
              "^\x83\x40\x00\x9B\x02 ^\x86\x42\x00\xBC+- ^\x83\x40\x00\xBF ^\x80\x01\x00\x8C\x01\xB9 "
              "^\x83\x40\x00\x8C\x01\xB3 ^\x83\x40\x00\x92\xC8\x00\x00\x00\xB6 ^\x89\x44\x00\x8C\xFF\xAA\x98 "
              "^\x83\x40\x00\xA1^\x83\x40\x00\xA4^\x83\x40\x00\xA7\x98 ^\x83\x4C\x00\xC2 after")
        .file("set.kvi", 0x10, "ok ^\x83\x40\x00\x98 ^\x9E\x04\x48\x00 ^\x80\x01\x00\x8C\x01\xB9")
        .file("bad.htm", 0x40, "x^\x8C\x00\xB0\x98")
        .file("raw.htm", 0x40, "HTTP/1.0 302 Found\r\n\r\n")
        .file("admin/secret.htm", 0x48, "secret ^\x83\x4D\x00\x98")
        .file("data.xml", 0x40, "<t>^\x83\x40\x00\x98</t>")
        .file("logo.gif", 0x00, "GIF89a")
        .bytes();
}

// A device fresh from the image for every input: RAM above the initial image keeps what earlier requests
// wrote, which would make one input's outcome depend on the ones before it. Copying a loaded device is far
// cheaper than building one.
srv::Device& freshDevice() {
    static const auto loaded = [] {
        auto device = std::make_unique<srv::Device>();
        if (device->loadImage(siteImage())) __builtin_trap();
        return device;
    }();
    static const auto work = std::make_unique<srv::Device>();
    *work = *loaded;
    work->setEffects(nullptr);
    return *work;
}

}  // namespace

BRINDLECOR_FUZZ_TARGET(fuzzHttpRequest) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    srv::Device& device = freshDevice();

    srv::HttpResponder bare(false);
    bare.handle(device, input);
    srv::HttpResponder headed(true);
    headed.handle(device, input);

    const std::string form = "GET /set.kvi?" + std::string(input) + " HTTP/1.0\r\n";
    headed.handle(device, form);
    return 0;
}
