#include "builder/image/image_emitter.h"

#include <algorithm>

#include "common/byte_order.h"
#include "common/image_layout.h"

namespace brindlecor::builder {

ImageEmitter::ImageEmitter() : image_(image::kFlashSize, image::kErased), data_(kFileDataCapacity, 0) {}

void ImageEmitter::fillImage(uint8_t value) {
    std::fill(image_.begin(), image_.end(), value);
}

void ImageEmitter::selectImage(uint32_t position) {
    imagePosition_ = position;
    toImage_ = true;
}

void ImageEmitter::emitByte(uint8_t b) {
    if (toImage_) {
        if (imagePosition_ >= image_.size()) {
            overflowed_ = true;
            return;
        }
        image_[imagePosition_++] = b;
    } else {
        if (dataPosition_ >= data_.size()) {
            overflowed_ = true;
            return;
        }
        data_[dataPosition_++] = b;
    }
}

void ImageEmitter::emitLe16(uint16_t v) {
    uint8_t bytes[2];
    writeLe16(bytes, v);
    emitByte(bytes[0]);
    emitByte(bytes[1]);
}

void ImageEmitter::emitLe32(uint32_t v) {
    uint8_t bytes[4];
    writeLe32(bytes, v);
    for (uint8_t b : bytes) emitByte(b);
}

}  // namespace brindlecor::builder
