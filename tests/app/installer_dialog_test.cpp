#include "app/win32/installer_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/win32/resource.h"
#include "dialog_driver.h"
#include "messages/messages.h"
#include "platform/doubles/fixed_system.h"
#include "platform/doubles/memory_registry.h"
#include "platform/win32/dialog_ui.h"
#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane::app {
namespace {

using testing::Click;
using testing::ControlText;
using testing::DriveWhileRunning;
using testing::kMessageBoxIcon;
using testing::kMessageBoxText;
using testing::WaitForWindow;
using testing::WaitUntilGone;

const std::string kAboutTitle =
    "Info \xfc"
    "ber Kolvane";

HINSTANCE Self() {
    return ::GetModuleHandleA(nullptr);
}

HICON MessageBoxIcon(HWND box) {
    return reinterpret_cast<HICON>(::SendDlgItemMessageA(box, kMessageBoxIcon, STM_GETICON, 0, 0));
}

// The main dialog on this thread, with an in-memory registry, the real files below a temporary
// folder and a fixed system, driven from a second thread.
class InstallerDialogTest : public ::testing::Test {
  protected:
    InstallerDialogTest() : files_(kolvane::testing::MakeRealFiles()) {
        system_.moduleFileName = dir_.WindowsPath("pkg") + "\\Setup.exe";
        std::filesystem::create_directories(dir_.HostPath("pkg"));
    }

    // Registers a host below the temporary folder, with an empty texture catalogue.
    void RegisterHost() {
        registry_.SetString("Software\\Tessaline\\HMDX", "AppPath",
                            dir_.WindowsPath("host") + "\\Host.exe");
        registry_.SetString("Software\\Tessaline\\HMDX", "ResBase", dir_.WindowsPath("host"));
        dir_.Write("host/Rezazerad/Texturen.txt", "");
    }

    // Runs the dialog while `drive` works it; returns what DoModal returned.
    INT_PTR Run(const std::function<void(HWND)>& drive) {
        InstallerDialog dialog(Self(), registry_, *files_, system_, {});
        INT_PTR result = 0;
        DriveWhileRunning([&] { result = dialog.DoModal(); },
                          [&] {
                              const HWND window = WaitForWindow("Kolvane", IDC_PROGRESS);
                              ASSERT_NE(window, nullptr) << "the main dialog did not open";
                              drive(window);
                          });
        outcome_ = dialog.Outcome();
        return result;
    }

    // Waits for the program's message box, checks its text and presses `button`.
    void Answer(HWND owner, int messageId, int button = IDOK) {
        const HWND box = WaitForWindow("Setup", kMessageBoxText);
        ASSERT_NE(box, nullptr) << "no message box for " << messageId;
        EXPECT_EQ(ControlText(box, kMessageBoxText), MessageText(messageId));
        EXPECT_EQ(::GetWindow(box, GW_OWNER), owner) << "modal to the main dialog";
        EXPECT_FALSE(::IsWindowEnabled(owner));
        const LPCSTR icon =
            messageId == 204 || messageId == 104 ? IDI_INFORMATION : IDI_EXCLAMATION;
        EXPECT_EQ(MessageBoxIcon(box), ::LoadIconA(nullptr, icon));
        Click(box, button);
        EXPECT_TRUE(WaitUntilGone(box));
    }

    kolvane::testing::TempDir dir_;
    platform::MemoryRegistry registry_;
    std::unique_ptr<platform::Files> files_;
    platform::FixedSystem system_;
    std::optional<InstallOutcome> outcome_;
};

TEST_F(InstallerDialogTest, ShowsTheTextsOfTheSystemLanguage) {
    struct Case {
        std::uint16_t language;
        int description;
        const char* install;
        const char* quit;
    };
    const Case cases[] = {
        {platform::kLanguageEnglish, 208, "Install", "Quit"},
        {platform::kLangFrenchFrance, 208, "Install", "Quit"},
        {platform::kLangGermanAustria, 108, "Installieren", "Abbrechen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        system_.language = c.language;
        const INT_PTR result = Run([&](HWND dialog) {
            EXPECT_EQ(ControlText(dialog, IDC_DESCRIPTION), MessageText(c.description));
            EXPECT_EQ(ControlText(dialog, IDOK), c.install);
            EXPECT_EQ(ControlText(dialog, IDCANCEL), c.quit);

            // The about entry is German everywhere, after a separator.
            const HMENU menu = ::GetSystemMenu(dialog, FALSE);
            ASSERT_NE(menu, nullptr);
            const int count = ::GetMenuItemCount(menu);
            ASSERT_GE(count, 2);
            EXPECT_NE(
                ::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR,
                0u);
            EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
            char item[64] = {};
            ::GetMenuStringA(menu, static_cast<UINT>(count - 1), item, sizeof item, MF_BYPOSITION);
            EXPECT_STREQ(item,
                         "Inf&o \xfc"
                         "ber Kolvane...");

            const auto icon =
                reinterpret_cast<HICON>(::SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
            EXPECT_EQ(icon, ::LoadIconA(Self(), MAKEINTRESOURCEA(IDR_MAINFRAME)));
            EXPECT_NE(icon, nullptr);
            EXPECT_EQ(::SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0),
                      reinterpret_cast<LRESULT>(icon));

            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &gui));
            EXPECT_EQ(gui.hwndFocus, ::GetDlgItem(dialog, IDOK)) << "Install has the focus";
            ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(result, IDCANCEL);
    }
}

TEST_F(InstallerDialogTest, QuitEscapeAndCloseEndItWithoutTouchingAnything) {
    RegisterHost();
    const std::function<void(HWND)> ways[] = {
        [](HWND dialog) { Click(dialog, IDCANCEL); },
        [](HWND dialog) { ::PostMessageA(::GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND dialog) { ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    int way = 0;
    for (const auto& end : ways) {
        SCOPED_TRACE(way++);
        EXPECT_EQ(Run(end), IDCANCEL);
        EXPECT_EQ(outcome_, std::nullopt);
    }
    EXPECT_TRUE(registry_.AttemptedKeys().empty()) << "the host is looked up only on Install";
}

TEST_F(InstallerDialogTest, SystemCommandsSixteenToThirtyOneOpenTheAboutBox) {
    Run([&](HWND dialog) {
        for (const int command : {16, 17, 31}) {
            SCOPED_TRACE(command);
            ::PostMessageA(dialog, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
            const HWND about = WaitForWindow(kAboutTitle, IDOK);
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(::GetWindow(about, GW_OWNER), dialog);
            Click(about, IDOK);
            EXPECT_TRUE(WaitUntilGone(about));
            EXPECT_EQ(ControlText(dialog, IDOK), "Install") << "the dialog is unchanged";
        }
        Click(dialog, IDCANCEL);
    });
}

TEST_F(InstallerDialogTest, WithoutAHostSaysSoAndStaysOpen) {
    const INT_PTR result = Run([&](HWND dialog) {
        for (int press = 0; press < 2; ++press) {
            SCOPED_TRACE(press);
            Click(dialog, IDOK);
            Answer(dialog, 202);
            EXPECT_TRUE(::IsWindow(dialog));
            EXPECT_TRUE(::IsWindowEnabled(dialog));
        }
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(outcome_, std::nullopt);
    EXPECT_EQ(registry_.AttemptedKeys(), (std::vector<std::string>{"Software", "Software"}));
}

TEST_F(InstallerDialogTest, ASuccessfulRunFillsTheBarAndEndsTheDialog) {
    RegisterHost();
    dir_.Write("pkg/InstSkript.txt", "Dateinstallation{} Texturskript{}");
    system_.language = platform::kLanguageGerman;
    const INT_PTR result = Run([&](HWND dialog) {
        Click(dialog, IDOK);
        const HWND box = WaitForWindow("Setup", kMessageBoxText);
        ASSERT_NE(box, nullptr);
        const HWND progress = ::GetDlgItem(dialog, IDC_PROGRESS);
        EXPECT_EQ(::SendMessageA(progress, PBM_GETRANGE, TRUE, 0), 0);
        EXPECT_EQ(::SendMessageA(progress, PBM_GETRANGE, FALSE, 0), 4);
        EXPECT_EQ(::SendMessageA(progress, PBM_GETPOS, 0, 0), 4);
        Answer(dialog, 104);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(outcome_, InstallOutcome::kSucceeded);
}

TEST_F(InstallerDialogTest, AMissingScriptEndsTheDialogWithTheFailure) {
    RegisterHost();
    const INT_PTR result = Run([&](HWND dialog) {
        Click(dialog, IDOK);
        ASSERT_NE(WaitForWindow("Setup", kMessageBoxText), nullptr);
        EXPECT_EQ(::SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0), 1);
        Answer(dialog, 207);
        Answer(dialog, 203);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(outcome_, InstallOutcome::kFailed);
}

TEST(DialogUiTest, AsksYesOrNoWithTheQuestionMark) {
    platform::DialogUi ui(nullptr, nullptr, Self(), "Setup");
    for (const int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer);
        int returned = 0;
        DriveWhileRunning([&] { returned = ui.ShowMessageText("Keep?\n\nYes", MB_YESNO); },
                          [&] {
                              const HWND box = WaitForWindow("Setup", kMessageBoxText);
                              ASSERT_NE(box, nullptr);
                              EXPECT_EQ(ControlText(box, kMessageBoxText), "Keep?\n\nYes");
                              EXPECT_EQ(::GetDlgItem(box, IDOK), nullptr);
                              EXPECT_NE(::GetDlgItem(box, IDNO), nullptr);
                              EXPECT_EQ(MessageBoxIcon(box), ::LoadIconA(nullptr, IDI_QUESTION));
                              Click(box, answer);
                          });
        EXPECT_EQ(returned, answer);
    }
}

}  // namespace
}  // namespace kolvane::app
