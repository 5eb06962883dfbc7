// Fuzz target: the input as a flash image loaded into a device, then a lookup of every entry up to the
// terminator and the rendering of what each lookup finds, as a request for it would.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "fuzz/fuzz_target.h"
#include "server/emulation/device.h"
#include "server/emulation/http_responder.h"
#include "server/emulation/page_renderer.h"

namespace {

namespace img = brindlecor::image;
namespace srv = brindlecor::server;

}  // namespace

BRINDLECOR_FUZZ_TARGET(fuzzImage) {
    // What an earlier input's pages changed would leak into this one. Nothing here writes flash below the
    // image, and loading erases the rest, so clearing RAM and the registers gives a new device at the cost
    // of one 64 KiB fill instead of copying both memories.
    static const auto device = std::make_unique<srv::Device>();
    device->ram.fill(0);
    device->status = 0;
    device->accumulator = 0;
    device->operandRegister = 0;
    if (device->loadImage(std::span<const uint8_t>(data, size))) {
        if (size <= img::kMaxImageLength) __builtin_trap();  // an image that fits must load
        return 0;
    }

    // Each lookup walks the table from its start, so looking every entry up would cost the square of a
    // table that fills the flash; and a code sequence that never reaches an output code runs on through the
    // erased flash to its end, which costs up to 48 KiB of steps for each page that holds one. The first
    // entries are looked up and rendered, each at most once, and the last one looked up, which walks the
    // whole table.
    constexpr int kLookedUp = 16;
    // Every code and every way a code can be cut off fits in the first bytes of a file, and the address (up
    // to 0xFFFF) still reaches the end of flash.
    constexpr uint32_t kRenderedBytes = 2048;
    std::string out;
    uint32_t last = 0;
    int looked = 0;
    for (uint32_t at = img::kFirstEntryAddress; at + img::kEntrySize <= img::kFlashSize;
         at += img::kEntrySize) {
        if (device->flash[at + img::kEntryFlagsOffset] == img::kTerminatorFlags) break;
        last = at;
        if (looked++ >= kLookedUp) continue;
        // The first entry with the hash answers, which may be an earlier one; none at all is a lookup fault.
        const auto found = device->lookup(brindlecor::readLe32(&device->flash[at]));
        if (!found || found->entryAddress > at) __builtin_trap();
        if (found->entryAddress != at) continue;  // rendered already under the earlier entry
        out.clear();
        srv::renderFile(*device, found->address, std::min(found->length, kRenderedBytes), found->flags, out);
    }
    if (last && !device->lookup(brindlecor::readLe32(&device->flash[last]))) __builtin_trap();

    srv::HttpResponder responder(true);
    responder.handle(*device, "GET / HTTP/1.0\r\n");
    return 0;
}
