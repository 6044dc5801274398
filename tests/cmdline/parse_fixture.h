#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/cmdline.h"
#include "cmdline/testing.h"

namespace cmdline::test {

// What the library showed and asked for during one test case. The hooks return at once, as a
// fuzzer's would: the library must carry on by itself.
struct Observed {
    static inline std::vector<std::string> notices;
    static inline std::vector<int> exits;

    static void Notice(const std::string& text) { notices.push_back(text); }
    static void Exit(int code) { exits.push_back(code); }
};

// Each case starts from a freshly constructed library with recording hooks, and must leave
// nothing pending and no token loop open, whatever happened.
class ParseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ResetState();
        Observed::notices.clear();
        Observed::exits.clear();
        previousNotice_ = SetNoticeHook(&Observed::Notice);
        previousExit_ = SetExitHook(&Observed::Exit);
    }

    void TearDown() override {
        EXPECT_EQ(PendingText, "");
        EXPECT_EQ(NestingDepth, 0);
        SetNoticeHook(previousNotice_);
        SetExitHook(previousExit_);
    }

    // Resets between the rows of a table.
    static void Restart() {
        testing::ResetState();
        Observed::notices.clear();
        Observed::exits.clear();
    }

    static const std::vector<std::string>& Notices() { return Observed::notices; }
    static const std::vector<int>& Exits() { return Observed::exits; }

  private:
    NoticeHook previousNotice_ = nullptr;
    ExitHook previousExit_ = nullptr;
};

}  // namespace cmdline::test
