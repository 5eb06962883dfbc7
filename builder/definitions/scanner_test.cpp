#include "builder/definitions/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindlecor::builder {
namespace {

// Every atom up to the end of the text; quoted atoms are shown in quotes.
std::vector<std::string> atoms(const std::string& text) {
    std::vector<std::string> out;
    int32_t position = 1;
    bool quoted = false;
    while (true) {
        std::string atom = getatom(text, position, quoted);
        if (atom.empty() && !quoted) break;
        out.push_back(quoted ? "\"" + atom + "\"" : atom);
        if (atom.empty()) break;
    }
    return out;
}

TEST(Scanner, AtomsOfTypicalAndAwkwardLines) {
    struct Case {
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"$include index.htm", {"$include", "index.htm"}},
        {"Temp DB 0FFh", {"Temp", "DB", "0FFh"}},
        {".5", {"5"}},
        {"5-3", {"5", "3"}},
        {"-5 +7", {"-5", "+7"}},
        {"a$b", {"a", "b"}},
        {"db 5;note", {"db", "5", "note"}},
        {"ab\"cd\" e", {"ab", "cd", "e"}},  // the quote after an atom ends it and is consumed
        {"c:\\site", {"c", "site"}},
        {"$sitepath \"c:\\my web\"", {"$sitepath", "\"c:\\my web\""}},
        {"msg db \"two\r\nlines\"", {"msg", "db", "\"two\r\nlines\""}},
        {"a=b,c&d\t(e)", {"a", "b", "c", "d", "e"}},
        {"a ; comment\r\nb", {"a", "b"}},
        {"; only a comment\r\n;another\r\nx", {"x"}},
        {"a ;last line without end", {"a"}},
        {"say \"unterminated", {"say", "\"unterminated\""}},  // the lone quote is dropped, the flag stays
        {"x \"\" y", {"x", "\"\""}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(atoms(c.text), c.expected) << c.text;
}

// A comment ends at whichever line end the file uses; a file saved with LF or CR line ends must not lose
// everything after its first comment.
TEST(Scanner, CommentsEndAtAnyLineEnd) {
    EXPECT_EQ(atoms("a ;one\nb db 1\n;two\nc"), (std::vector<std::string>{"a", "b", "db", "1", "c"}));
    EXPECT_EQ(atoms("a ;one\rb\r;two\rc"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(atoms("a ;one\r\nb"), (std::vector<std::string>{"a", "b"}));
}

TEST(Scanner, PositionsAndQuotedFlag) {
    const std::string text = "ab;x \"\" y";
    int32_t position = 1;
    bool quoted = true;
    int32_t start = -1;
    EXPECT_EQ(getatom(text, position, quoted, start), "ab");
    EXPECT_FALSE(quoted);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(position, 4);  // the ";" that ended the atom was consumed with it
    EXPECT_EQ(getatom(text, position, quoted, start), "x");
    EXPECT_EQ(getatom(text, position, quoted, start), "");
    EXPECT_TRUE(quoted);
    EXPECT_EQ(start, 6);
    EXPECT_EQ(position, 8);
    EXPECT_EQ(getatom(text, position, quoted, start), "y");
    EXPECT_FALSE(quoted);
    EXPECT_EQ(getatom(text, position, quoted, start), "");
    EXPECT_FALSE(quoted);
    EXPECT_EQ(start, 0);

    // A comment without a line end is the rest of the text, however often the caller asks again.
    const std::string tail = "a ;b c";
    position = 1;
    getatom(tail, position, quoted);
    EXPECT_EQ(getatom(tail, position, quoted), "");
    EXPECT_EQ(getatom(tail, position, quoted), "");
    EXPECT_GT(position, static_cast<int32_t>(tail.size()));
}

TEST(Scanner, NumberLiterals) {
    struct Case {
        const char* literal;
        int32_t value;
    } cases[] = {
        {"0FFh", 255},
        {"FFh", 255},
        {"1Bh", 27},
        {"0ffH", 255},
        {"1010b", 10},
        {"0120b", 8},
        {"1x1b", 5},
        {"b", 0},
        {"17o", 15},
        {"17O", 15},
        {"12", 12},
        {"-5", -5},
        {"+7", 7},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"-3.5", -4},
        {"0.5", 0},
        {"1.5", 2},
        {"2.5000001", 3},
        {".5", 0},
        {"5.", 5},
        {"1e3", 1000},
        {"1E2", 100},
        {"25e-1", 2},
        {"15e-1", 2},
        {"  42  ", 42},
        {"0e999999999999", 0},
        {"1e-999999999", 0},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"8000h", 32768},
        {"0FFFFh", 65535},
        {"0FFFFFFFFh", -1},
        {"80000000h", INT32_MIN},
        {"37777777777o", -1},
        {"00000000000012h", 18},
        {"11111111111111111111111111111111b", -1},
    };
    for (const auto& c : cases) {
        const NumberResult result = crackNumberChecked(c.literal);
        EXPECT_TRUE(result.ok) << c.literal << ": " << result.problem;
        EXPECT_EQ(result.value, c.value) << c.literal;
        EXPECT_EQ(cracknumber(c.literal), c.value) << c.literal;
    }
}

TEST(Scanner, LiteralsThatAreNoNumberOrDoNotFit) {
    struct Case {
        const char* literal;
        const char* problem;
    } cases[] = {
        {"abc", "Not a Number: abc"},
        {"", "Not a Number: "},
        {"h", "Not a Number: h"},
        {"0GGh", "Not a Number: 0GGh"},
        {"-5h", "Not a Number: -5h"},
        {"18o", "Not a Number: 18o"},
        {"1e", "Not a Number: 1e"},
        {"1.2.3", "Not a Number: 1.2.3"},
        {"1 2", "Not a Number: 1 2"},
        {"index.htm", "Not a Number: index.htm"},
        {"2147483648", "Number out of Range: 2147483648"},
        {"-2147483649", "Number out of Range: -2147483649"},
        {"2147483647.5", "Number out of Range: 2147483647.5"},
        {"99999999999", "Number out of Range: 99999999999"},
        {"1e10", "Number out of Range: 1e10"},
        {"100000000h", "Number out of Range: 100000000h"},
        {"40000000000o", "Number out of Range: 40000000000o"},
        {"100000000000000000000000000000000b", "Number out of Range: 100000000000000000000000000000000b"},
    };
    for (const auto& c : cases) {
        const NumberResult result = crackNumberChecked(c.literal);
        EXPECT_FALSE(result.ok) << c.literal;
        EXPECT_EQ(result.problem, c.problem);
        EXPECT_EQ(result.value, 0) << c.literal;
        EXPECT_EQ(cracknumber(c.literal), 0) << c.literal;
    }
}

TEST(Scanner, PercentEscapes) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"a%20b", "a b"},
        {"100%", std::string("100\0", 4)},
        {"%41%42", "AB"},
        {"Hi%21", "Hi!"},
        {"%e9t%E9", "\xE9t\xE9"},
        {"%4Gx", "\x04x"},  // the digits stop at G, which is still consumed
        {"%zz", std::string("\0", 1)},
        {"a+b c", "a+b c"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(HTTPprocess(c.text), c.expected) << c.text;
}

TEST(Scanner, References) {
    struct Case {
        std::string text;
        int32_t from;
        std::string name;
        char modifier;
        std::string argument;
        int32_t end;
    } cases[] = {
        {"^temp^", 1, "temp", ' ', "", 6},
        {"^Temp:3^", 1, "temp", ':', "3", 8},
        {"^temp,", 1, "temp", ' ', "", 5},  // malformed: back on the last character taken
        {"x ^LED_1^ y", 3, "led_1", ' ', "", 9},
        {"^a-B7^", 1, "a", '-', "b7", 6},
        {"^width:8^", 1, "width", ':', "8", 9},
        {"^a:b,", 1, "a", ':', "b", 4},
        {"^a:,^", 1, "a", ':', "", 3},
        {"^temp", 1, "temp", ' ', "", 6},  // runs off the end
        {"^a:b", 1, "a", ':', "b", 5},
        {"^^", 1, "", ' ', "", 2},
        {"^", 1, "", ' ', "", 3},
        {"^a@b^", 1, "a", ' ', "", 2},
        {"^\xC9t^", 1, "", ' ', "", 1},
    };
    for (const auto& c : cases) {
        int32_t position = c.from;
        const Reference ref = parseReference(c.text, position);
        EXPECT_EQ(ref.name, c.name) << c.text;
        EXPECT_EQ(ref.modifier, c.modifier) << c.text;
        EXPECT_EQ(ref.argument, c.argument) << c.text;
        EXPECT_EQ(position, c.end) << c.text;
    }
    for (char modifier : std::string(":+-*\\/()&|#%~'$")) {
        const std::string text = std::string("^x") + modifier + "1^";
        int32_t position = 1;
        const Reference ref = parseReference(text, position);
        EXPECT_EQ(ref.modifier, modifier) << text;
        EXPECT_EQ(ref.argument, "1") << text;
        EXPECT_EQ(position, 5) << text;
    }
}

TEST(Scanner, AddressText) {
    struct Case {
        int32_t value;
        const char* text;
    } cases[] = {
        {0, "0000"},      {255, "00FF"},    {4095, "0FFF"}, {4096, "01000"}, {4660, "01234"},
        {65535, "0FFFF"}, {43981, "0ABCD"}, {-1, "0FFFF"},  // an equ of 0FFFFh is held as -1 and shown as
                                                            // written
        {-128, "0FF80"},
    };
    for (const auto& c : cases) EXPECT_EQ(hex4(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace brindlecor::builder
