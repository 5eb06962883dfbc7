// The one QApplication of a window test program, made before the first test and deleted after the last;
// without a display of its own the program draws offscreen.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

namespace brindlecor::testing {

class QtApplication : public ::testing::Environment {
  public:
    explicit QtApplication(const char* programName) : name_(programName) {}
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        argv_[0] = name_.data();
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override { delete app_; }

  private:
    QByteArray name_;
    int argc_ = 1;
    char* argv_[2] = {nullptr, nullptr};
    QApplication* app_ = nullptr;
};

}  // namespace brindlecor::testing
