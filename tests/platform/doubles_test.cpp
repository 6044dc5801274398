#include <gtest/gtest.h>

#include "platform/doubles/memory_registry.h"
#include "platform/doubles/scripted_ui.h"

namespace kolvane::platform {
namespace {

// What the registry calls answer is the contract suite's; here, the double's own bookkeeping.
TEST(MemoryRegistryTest, CountsOpensAndClosesAndTellsMisuse) {
    MemoryRegistry registry;
    registry.AddKey("Software\\Maker");
    RegKey software = 0;
    RegKey maker = 0;
    ASSERT_EQ(registry.OpenKey(kClassesRoot, "SOFTWARE", kKeyRead, software), kErrorSuccess);
    ASSERT_EQ(registry.OpenKey(software, "maker", kKeyRead, maker), kErrorSuccess);
    EXPECT_EQ(registry.OpenedKeys(), (std::vector<std::string>{"Software", "Software\\Maker"}));
    EXPECT_EQ(registry.OpenKeyCount(), 2u);
    EXPECT_FALSE(registry.Balanced());
    EXPECT_EQ(registry.CloseKey(maker), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(software), kErrorSuccess);
    EXPECT_TRUE(registry.Balanced());
    EXPECT_NE(registry.CloseKey(software), kErrorSuccess);
    EXPECT_FALSE(registry.Balanced()) << "a second close is a misuse";
}

TEST(ScriptedUiTest, AnswersFromItsQueueThenByDefault) {
    ScriptedUi ui;
    ui.Answer(kIdNo);
    ui.SetProgressPosition(3);
    EXPECT_EQ(ui.ShowMessageText("question", kMbYesNo), kIdNo);
    EXPECT_EQ(ui.ShowMessageText("question", kMbYesNo), kIdYes);
    EXPECT_EQ(ui.ShowMessage(103, kMbOk), kIdOk);
    EXPECT_EQ(ui.Unscripted(), 2);
    ASSERT_EQ(ui.Messages().size(), 3u);
    EXPECT_EQ(ui.Messages()[0].position, 3);
    EXPECT_EQ(ui.MessageIds(), std::vector<int>{103});
}

}  // namespace
}  // namespace kolvane::platform
