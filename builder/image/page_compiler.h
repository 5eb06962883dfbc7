// Compiles the ^name^ object references of a page into the reference codes the device executes, emitting
// the page's stored form through the emitter. Problems go to the build log, naming the page.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "builder/definitions/build_state.h"
#include "builder/definitions/scanner.h"
#include "builder/image/build_log.h"
#include "builder/image/image_emitter.h"

namespace brindlecor::builder {

// Emits the smallest constant code that holds value as the device reads it (the two-byte form is signed, so
// only 256..32767 take it), then token, then the decimal output code unless the token produces its own output.
void emitConstant(ImageEmitter& out, uint8_t token, int32_t value);

enum class PageOutcome { Finished, Cancelled };

class PageCompiler {
  public:
    // The object records must outlive the compiler; the first record of a name wins.
    PageCompiler(const std::vector<ObjectRecord>& objects, ImageEmitter& out, BuildLog& log);

    // Emits the stored form of text. filePath names the page in messages. Cancelled when the user answered
    // Cancel to an "Object Processing" error; the bytes emitted up to there stay.
    PageOutcome compilePage(const std::string& text, const std::string& filePath);

  private:
    Answer objectError(const std::string& problem);
    Answer emitReference(const Reference& ref);
    Answer emitOperator(const ObjectRecord& object, const Reference& ref);

    std::unordered_map<std::string, const ObjectRecord*> byName_;
    ImageEmitter& out_;
    BuildLog& log_;
    Answer reportAtReference(const std::string& title, const std::string& text);

    std::string filePath_;
    int line_ = 1;
    int32_t lineStart_ = 1;  // position of the first character of the current line
    int32_t referenceAt_ = 0;  // position of the "^" of the reference being compiled
};

}  // namespace brindlecor::builder
