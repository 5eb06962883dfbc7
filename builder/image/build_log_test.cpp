#include "builder/image/build_log.h"

#include <gtest/gtest.h>

#include "builder/image/testing_view.h"

namespace brindlecor::builder {
namespace {

using testing::RecordingView;

TEST(BuildLog, ReportErrorLogsMarksAndAsksUnlessSilent) {
    for (const bool silent : {false, true}) {
        RecordingView view;
        view.answer = Answer::Cancel;
        BuildLog log(view);
        log.setSilentErrors(silent);
        log.logLine("Start");
        const Answer answer = log.reportError("Object Address", "x's Location Exceeds Available Ram");
        EXPECT_EQ(view.log, "Start\r\nObject Address Error: x's Location Exceeds Available Ram\r\n");
        EXPECT_TRUE(log.hasErrors());
        EXPECT_TRUE(view.errorState);
        if (silent) {
            EXPECT_EQ(answer, Answer::Ok);
            EXPECT_TRUE(view.questions.empty());
        } else {
            EXPECT_EQ(answer, Answer::Cancel);
            EXPECT_EQ(view.questions,
                      std::vector<std::string>{"Tamarquill Error|Object Address Error: \r\n\r\n"
                                               "x's Location Exceeds Available Ram"});
        }
        log.clearErrors();
        EXPECT_FALSE(log.hasErrors());
        EXPECT_FALSE(view.errorState);
        EXPECT_EQ(view.log, "Start\r\nObject Address Error: x's Location Exceeds Available Ram\r\n");
    }
}

}  // namespace
}  // namespace brindlecor::builder
