#include "builder/image/page_compiler.h"

#include <gtest/gtest.h>

#include "builder/image/testing_view.h"
#include "common/image_layout.h"
#include "common/name_hash.h"

namespace brindlecor::builder {
namespace {

using testing::RecordingView;

ObjectRecord object(const std::string& name, uint8_t type, int16_t size, int32_t address) {
    ObjectRecord r;
    r.name = name;
    r.typeCode = type;
    r.size = size;
    r.address = address;
    r.hash = calcHASH(name);
    return r;
}

const std::vector<ObjectRecord> kObjects = {
    object("temp", image::kTypeByte, 1, 0x40),  object("count", image::kTypeInteger, 2, 0x10),
    object("flags", image::kTypeLong, 4, 0x20), object("msg", image::kTypeString, 20, 0x100),
    object("h", image::kTypeHex, 1, 0x30),      object("b", image::kTypeBit, 1, 9),
};

struct Compiled {
    std::string bytes;
    RecordingView view;
    PageOutcome outcome = PageOutcome::Finished;
};

void compile(const std::string& text, Compiled& c) {
    BuildLog log(c.view);
    log.setSilentErrors(c.view.answer == Answer::Ok);
    ImageEmitter out;
    out.selectData();
    PageCompiler compiler(kObjects, out, log);
    c.outcome = compiler.compilePage(text, "site/page.htm");
    c.bytes.assign(out.data().begin(), out.data().begin() + static_cast<long>(out.dataPosition()));
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

TEST(PageCompiler, ReferenceFormsStoreTheirCodes) {
    const std::string temp = bytes({0x5E, 0x83, 0x40, 0x00});
    const std::string count = bytes({0x5E, 0x86, 0x10, 0x00});
    const std::string flags = bytes({0x5E, 0x89, 0x20, 0x00});
    const std::string msg = bytes({0x5E, 0x9E, 0x14, 0x00, 0x01});
    const struct {
        std::string page;
        std::string stored;
    } cases[] = {
        {"Temp: ^temp^ C", "Temp: " + temp + bytes({0x98}) + " C"},
        {"^Temp^", temp + bytes({0x98})},
        {"^count-1^", count + bytes({0x92, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x98})},
        {"^count+300^", count + bytes({0x8F, 0x2C, 0x01, 0xAA, 0x98})},
        {"^count+70000^", count + bytes({0x92, 0x70, 0x11, 0x01, 0x00, 0xAA, 0x98})},
        // The device reads a two-byte constant as signed: from 32768 up only the four-byte form keeps the value.
        {"^count+40000^", count + bytes({0x92, 0x40, 0x9C, 0x00, 0x00, 0xAA, 0x98})},
        {"^count+32767^", count + bytes({0x8F, 0xFF, 0x7F, 0xAA, 0x98})},
        {"^count+32768^", count + bytes({0x92, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x98})},
        {"^count-32768^", count + bytes({0x92, 0x00, 0x80, 0xFF, 0xFF, 0xAA, 0x98})},
        {"^count-0^", count + bytes({0x8C, 0x00, 0xAA, 0x98})},
        {"^count*3^", count + bytes({0x8C, 0x03, 0xAD, 0x98})},
        {"^count/10^", count + bytes({0x8C, 0x0A, 0xB0, 0x98})},
        {"^count&0fh^", count + bytes({0x8C, 0x0F, 0xA1, 0x98})},
        {"^count|101b^", count + bytes({0x8C, 0x05, 0xA4, 0x98})},
        {"^count~17o^", count + bytes({0x8C, 0x0F, 0xA7, 0x98})},
        {"^count#2^", count + bytes({0x8C, 0x02, 0xB3})},
        {"^count$5^", count + bytes({0x8C, 0x05, 0xB6})},
        {"^flags'3^", flags + bytes({0x8C, 0x08, 0xB9})},
        {"^flags'31^", flags + bytes({0x92, 0x00, 0x00, 0x00, 0x80, 0xB9})},
        {"^count:s^", count + bytes({0xBC, 0x20, 0x2D})},
        {"^count:p^", count + bytes({0xBC, 0x2B, 0x2D})},
        {"^count:m^", count + bytes({0xBC, 0x50, 0x4D})},
        {"^count:exitif0^", count + bytes({0xC2})},
        {"^count:3^", count + bytes({0x9B, 0x03})},
        {"^msg^", msg},
        {"^msg:s^", msg},
        {"^msg+1^", msg},
        {"^h^", bytes({0x5E, 0x83, 0x30, 0x00, 0xBF})},
        {"^h+1^", bytes({0x5E, 0x83, 0x30, 0x00, 0x8C, 0x01, 0xAA, 0x98})},
        {"^b^", bytes({0x5E, 0x80, 0x09, 0x00, 0x98})},
        {"^temp(5^x", temp + "x"},
        {"5^^3", "5^^3"},
        {"^temp rest", temp + bytes({0x98}) + " rest"},
        {"^temp,x", temp + bytes({0x98}) + ",x"},
        {"a^temp", "a" + temp + bytes({0x98})},
    };
    for (const auto& c : cases) {
        Compiled out;
        compile(c.page, out);
        EXPECT_EQ(out.bytes, c.stored) << c.page;
        EXPECT_TRUE(out.view.errors.empty()) << c.page;
    }
}

TEST(PageCompiler, ProblemsAreReportedAndStoreNothingForTheBadPart) {
    const std::string temp = bytes({0x5E, 0x83, 0x40, 0x00});
    const std::string file = "\r\n\r\nFile: site/page.htm";
    const struct {
        std::string page;
        std::string stored;
        std::vector<std::string> errors;
    } cases[] = {
        {"a^ b", "a b", {"Object Processing|No Object Found by the Name: " + file}},
        {"x^nosuch^y", "xy", {"Object Processing|No Object Found by the Name: nosuch" + file}},
        {"z^", "z", {"Object Processing|No Object Found by the Name: " + file}},
        {"^flags'40^",
         bytes({0x5E, 0x89, 0x20, 0x00, 0x92, 0x00, 0x00, 0x00, 0x80, 0xB9}),
         {"Bit Object|object.bit bit must be less than 32"}},
        {"^temp:300^.", temp + ".", {"Object Processing|Digit Position Must Be 0-255: 300" + file}},
        {"^temp+zz^.", temp + ".", {"Object Processing|Not a Number: zz" + file}},
        {"^temp*^.", temp + ".", {"Object Processing|Not a Number: " + file}},
        {"^temp+99999999999^", temp, {"Object Processing|Number out of Range: 99999999999" + file}},
    };
    for (const auto& c : cases) {
        Compiled out;
        compile(c.page, out);
        EXPECT_EQ(out.bytes, c.stored) << c.page;
        EXPECT_EQ(out.view.errors, c.errors) << c.page;
        EXPECT_TRUE(out.view.errorState) << c.page;
        EXPECT_EQ(out.outcome, PageOutcome::Finished) << c.page;
    }
}

TEST(PageCompiler, ErrorsCarryThePageAndLine) {
    Compiled out;
    compile("one\r\ntwo\r\n^nosuch^ ^flags'32^\r\n", out);
    ASSERT_EQ(out.view.locations.size(), 2u);
    EXPECT_EQ(out.view.locations[0], "site/page.htm:3");
    EXPECT_EQ(out.view.locations[1], "site/page.htm:3");
    EXPECT_EQ(out.view.columns, (std::vector<int>{1, 10}));
}

TEST(PageCompiler, CancelEndsThePageKeepingWhatWasEmitted) {
    Compiled out;
    out.view.answer = Answer::Cancel;
    compile("ab^nosuch^cd^temp^", out);
    EXPECT_EQ(out.outcome, PageOutcome::Cancelled);
    EXPECT_EQ(out.bytes, "ab");
}

TEST(PageCompiler, EmitConstantPicksTheSmallestCode) {
    const struct {
        uint8_t token;
        int32_t value;
        std::string stored;
    } cases[] = {
        {0xAA, 0, bytes({0x8C, 0x00, 0xAA, 0x98})},
        {0xAA, 255, bytes({0x8C, 0xFF, 0xAA, 0x98})},
        {0xAA, 256, bytes({0x8F, 0x00, 0x01, 0xAA, 0x98})},
        {0xAA, 32767, bytes({0x8F, 0xFF, 0x7F, 0xAA, 0x98})},
        {0xAA, 32768, bytes({0x92, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x98})},
        {0xB3, 65535, bytes({0x92, 0xFF, 0xFF, 0x00, 0x00, 0xB3})},
        {0xB6, 65536, bytes({0x92, 0x00, 0x00, 0x01, 0x00, 0xB6})},
        {0xB9, INT32_MIN, bytes({0x92, 0x00, 0x00, 0x00, 0x80, 0xB9})},
        {0xAD, -1, bytes({0x92, 0xFF, 0xFF, 0xFF, 0xFF, 0xAD, 0x98})},
    };
    for (const auto& c : cases) {
        ImageEmitter out;
        out.selectData();
        emitConstant(out, c.token, c.value);
        EXPECT_EQ(std::string(out.data().begin(), out.data().begin() + static_cast<long>(out.dataPosition())),
                  c.stored)
            << c.value;
    }
}

}  // namespace
}  // namespace brindlecor::builder
