#include <gtest/gtest.h>

#include "platform/doubles/memory_registry.h"
#include "platform/doubles/scripted_ui.h"

namespace kolvane::platform {
namespace {

// What the registry calls answer is the contract suite's; here, the hive's own bookkeeping, on
// which the tests of its users rely.
TEST(MemoryRegistryTest, TellsKeysLeftOpenAndKeysClosedTwice) {
    MemoryRegistry registry;
    registry.AddKey("Software");
    RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(kClassesRoot, "SOFTWARE", kKeyRead, key), kErrorSuccess);
    EXPECT_EQ(registry.OpenedKeys(), std::vector<std::string>{"Software"});
    EXPECT_FALSE(registry.Balanced()) << "left open";
    registry.CloseKey(key);
    EXPECT_TRUE(registry.Balanced());
    registry.CloseKey(key);
    EXPECT_FALSE(registry.Balanced()) << "closed twice";
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
