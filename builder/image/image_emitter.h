// The two places a make writes bytes to: the working image (one byte per flash address) and the file data
// buffer that the site walk fills. emitByte appends to whichever is selected; a byte that would fall past
// either end is dropped and remembered, so callers can stop before anything is written out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindlecor::builder {

constexpr size_t kFileDataCapacity = 65536;

class ImageEmitter {
  public:
    ImageEmitter();

    void fillImage(uint8_t value);
    // Selects the working image at the given address.
    void selectImage(uint32_t position);
    // Selects the file data buffer, at its current position.
    void selectData() { toImage_ = false; }
    void resetData() { dataPosition_ = 0; }

    void emitByte(uint8_t b);
    void emitLe16(uint16_t v);
    void emitLe32(uint32_t v);

    uint32_t imagePosition() const { return imagePosition_; }
    size_t dataPosition() const { return dataPosition_; }
    // True once a byte fell past the end of the working image or the file data buffer.
    bool overflowed() const { return overflowed_; }
    void clearOverflow() { overflowed_ = false; }

    std::vector<uint8_t>& image() { return image_; }
    const std::vector<uint8_t>& image() const { return image_; }
    const std::vector<uint8_t>& data() const { return data_; }

  private:
    std::vector<uint8_t> image_;
    std::vector<uint8_t> data_;
    uint32_t imagePosition_ = 0;
    size_t dataPosition_ = 0;
    bool toImage_ = true;
    bool overflowed_ = false;
};

}  // namespace brindlecor::builder
