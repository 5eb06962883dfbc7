#include "builder/shell/console_view.h"

#include <gtest/gtest.h>

#include <string>

namespace brindlecor::builder {
namespace {

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

TEST(ConsoleView, LogToStdoutErrorsWithTheirLocationToStderr) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(out && err);
    ConsoleView view(out, err);
    BuildLog log(view);
    log.setSilentErrors(true);
    log.logLine("Beginning Make");
    log.setLocation("defs.kvd", 12);
    EXPECT_EQ(log.reportError("Object", "Bit variable b's location must be 0-255"), Answer::Ok);
    log.setLocation("site/i.htm", 3, 7);
    log.reportError("Bit Object", "object.bit bit must be less than 32");
    log.setLocation("site/a.htm", 0);
    log.reportError("Object Processing", "No Object Found by the Name: x\r\n\r\nFile: site/a.htm");
    log.clearLocation();
    log.reportError("", "File not Found x.kvd");
    view.showErrorBox("Error: Hashed directory entry already exists for \\a.b\r\n\r\nPlease rename file");

    EXPECT_EQ(contents(out),
              "Beginning Make\r\n"
              "Object Error: Bit variable b's location must be 0-255\r\n"
              "Bit Object Error: object.bit bit must be less than 32\r\n"
              "Object Processing Error: No Object Found by the Name: x\r\n\r\nFile: site/a.htm\r\n"
              " Error: File not Found x.kvd\r\n");
    EXPECT_EQ(contents(err),
              "defs.kvd:12: Object Error: Bit variable b's location must be 0-255\n"
              "site/i.htm:3:7: Bit Object Error: object.bit bit must be less than 32\n"
              "site/a.htm: Object Processing Error: No Object Found by the Name: x; File: site/a.htm\n"
              " Error: File not Found x.kvd\n"
              "Error: Hashed directory entry already exists for \\a.b; Please rename file\n");
    EXPECT_EQ(view.errorCount(), 5);
    std::fclose(out);
    std::fclose(err);
}

}  // namespace
}  // namespace brindlecor::builder
