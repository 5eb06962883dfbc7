// One fuzz target's entry: libFuzzer's own entry in a fuzz build, a named function when the ordinary test
// suite replays the stored corpora through every target (BRINDLECOR_FUZZ_REPLAY).
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef BRINDLECOR_FUZZ_REPLAY
#define BRINDLECOR_FUZZ_TARGET(name) int name(const uint8_t* data, size_t size)
#else
#define BRINDLECOR_FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#endif

int fuzzHttpRequest(const uint8_t* data, size_t size);
int fuzzImage(const uint8_t* data, size_t size);
int fuzzImageInspect(const uint8_t* data, size_t size);
int fuzzDatagram(const uint8_t* data, size_t size);
int fuzzDefinitions(const uint8_t* data, size_t size);
int fuzzSettings(const uint8_t* data, size_t size);
