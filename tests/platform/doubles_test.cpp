#include <gtest/gtest.h>

#include "platform/doubles/memory_registry.h"
#include "platform/doubles/scripted_ui.h"

namespace kolvane::platform {
namespace {

TEST(MemoryRegistryTest, BehavesLikeTheRegistryCalls) {
    MemoryRegistry registry;
    registry.SetString("Software\\Maker\\Product", "Name", "value");
    RegKey software = 0;
    ASSERT_EQ(registry.OpenKey(kClassesRoot, "SOFTWARE", kKeyRead, software), kErrorSuccess);
    RegKey nested = 0;
    EXPECT_EQ(registry.OpenKey(software, "maker\\product", kKeyRead, nested), kErrorSuccess)
        << "a subkey path of several levels opens at once";
    EXPECT_EQ(registry.CloseKey(nested), kErrorSuccess);
    RegKey missing = 0;
    EXPECT_EQ(registry.OpenKey(software, "Missing", kKeyRead, missing), kErrorFileNotFound);
    RegKey product = 0;
    RegKey maker = 0;
    ASSERT_EQ(registry.OpenKey(software, "Maker", kKeyRead, maker), kErrorSuccess);
    ASSERT_EQ(registry.OpenKey(maker, "Product", kKeyRead, product), kErrorSuccess);

    std::uint8_t buffer[6] = {};
    std::uint32_t size = sizeof buffer;
    std::uint32_t type = kRegNone;
    ASSERT_EQ(registry.QueryValue(product, "name", type, buffer, size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "value");

    size = 5;  // no room for the NUL
    EXPECT_EQ(registry.QueryValue(product, "Name", type, buffer, size), kErrorMoreData);
    EXPECT_EQ(registry.QueryValue(product, "Other", type, buffer, size), kErrorFileNotFound);

    EXPECT_EQ(registry.OpenKeyCount(), 3u);
    EXPECT_FALSE(registry.Balanced());
    EXPECT_EQ(registry.CloseKey(product), kErrorSuccess);
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
