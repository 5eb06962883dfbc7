// Fuzz target: the input as a flash image loaded into a device, then a lookup of every entry up to the
// terminator and the rendering of what each lookup finds, as a request for it would.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "server/emulation/device.h"
#include "server/emulation/http_responder.h"
#include "server/emulation/page_renderer.h"

namespace {

namespace img = brindlecor::image;
namespace srv = brindlecor::server;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // RAM that an earlier input's pages changed would leak into this one: start from a new device each time.
    static const auto blank = std::make_unique<srv::Device>();
    static const auto device = std::make_unique<srv::Device>();
    *device = *blank;
    if (device->loadImage(std::span<const uint8_t>(data, size))) {
        if (size <= img::kMaxImageLength) __builtin_trap();  // an image that fits must load
        return 0;
    }

    std::string out;
    for (uint32_t at = img::kFirstEntryAddress; at + img::kEntrySize <= img::kFlashSize;
         at += img::kEntrySize) {
        if (device->flash[at + img::kEntryFlagsOffset] == img::kTerminatorFlags) break;
        // The first entry with the hash answers, which may be an earlier one; none at all is a lookup fault.
        const auto found = device->lookup(brindlecor::readLe32(&device->flash[at]));
        if (!found) __builtin_trap();
        out.clear();
        srv::renderFile(*device, found->address, found->length, found->flags, out);
    }

    srv::HttpResponder responder(true);
    responder.handle(*device, "GET / HTTP/1.0\r\n");
    return 0;
}
