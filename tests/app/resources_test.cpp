#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/about.inc"
#include "app/win32/resource.h"
#include "messages/messages.h"
#include "platform/win32/dialog_ui.h"
#include "platform/win32/windows_support.h"

namespace kolvane {
namespace {

HINSTANCE Self() {
    return ::GetModuleHandleA(nullptr);
}

// The bytes of resource `id` of `type` in this program.
std::vector<std::uint8_t> ResourceBytes(LPCSTR type, int id) {
    const HRSRC found = ::FindResourceA(Self(), MAKEINTRESOURCEA(id), type);
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = ::LoadResource(Self(), found);
    const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
    return std::vector<std::uint8_t>(data, data + ::SizeofResource(Self(), found));
}

TEST(StringTableTest, HoldsEveryMessageAsTheCoreKnowsIt) {
    for (int german = 101; german <= kMsgLast; ++german) {
        for (const int id : {german, german + 100}) {
            SCOPED_TRACE(id);
            ASSERT_NE(MessageText(id), nullptr);
            // The resource compiler must have read the Windows-1252 bytes (umlauts, line feeds).
            EXPECT_EQ(win32::LoadResourceString(Self(), static_cast<UINT>(id)), MessageText(id));
        }
    }
    EXPECT_EQ(win32::LoadResourceString(Self(), 101),
              "Inf&o \xfc"
              "ber Kolvane...");
    EXPECT_EQ(win32::LoadResourceString(Self(), kMsgLast + 1), "") << "no text beyond the table";
}

// A reader of the extended dialog template format.
class TemplateReader {
  public:
    explicit TemplateReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::uint16_t Word() {
        std::uint16_t value = 0;
        Take(&value, sizeof value);
        return value;
    }
    std::uint32_t Dword() {
        std::uint32_t value = 0;
        Take(&value, sizeof value);
        return value;
    }
    std::int16_t Short() { return static_cast<std::int16_t>(Word()); }
    std::uint8_t Byte() {
        std::uint8_t value = 0;
        Take(&value, sizeof value);
        return value;
    }
    // A UTF-16 text, given back in the ANSI code page (1252 here).
    std::string Text() {
        std::wstring wide;
        for (std::uint16_t c = Word(); c != 0; c = Word()) {
            wide += static_cast<wchar_t>(c);
        }
        std::string text(wide.size() * 2 + 1, '\0');
        const int length =
            ::WideCharToMultiByte(1252, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(),
                                  static_cast<int>(text.size()), nullptr, nullptr);
        text.resize(static_cast<std::size_t>(length));
        return text;
    }
    // A name or ordinal: "#<n>" for an ordinal.
    std::string NameOrOrdinal() {
        const std::uint16_t first = Word();
        if (first == 0xFFFF) {
            return "#" + std::to_string(Word());
        }
        pos_ -= 2;
        return Text();
    }
    void AlignToDword() { pos_ = (pos_ + 3) & ~std::size_t{3}; }
    void Skip(std::size_t count) { pos_ += count; }
    bool Good() const { return pos_ <= bytes_.size(); }

  private:
    void Take(void* out, std::size_t size) {
        if (pos_ + size <= bytes_.size()) {
            std::memcpy(out, bytes_.data() + pos_, size);
        }
        pos_ += size;
    }
    std::vector<std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// The predefined window classes that a template may name by number.
std::string ClassName(const std::string& nameOrOrdinal) {
    if (nameOrOrdinal == "#128") {
        return "Button";
    }
    if (nameOrOrdinal == "#130") {
        return "Static";
    }
    return nameOrOrdinal;
}

struct Item {
    std::uint32_t id;
    std::string windowClass;
    std::string text;
    int x, y, cx, cy;
    std::uint32_t style;
};

struct Template {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    int cx = 0;
    int cy = 0;
    std::string title;
    int pointSize = 0;
    std::string font;
    std::vector<Item> items;
};

Template ReadTemplate(int id) {
    TemplateReader in(ResourceBytes(MAKEINTRESOURCEA(5) /* RT_DIALOG */, id));
    Template t;
    EXPECT_EQ(in.Word(), 1) << "DLGTEMPLATEEX";
    EXPECT_EQ(in.Word(), 0xFFFF);
    in.Dword();  // help id
    t.exStyle = in.Dword();
    t.style = in.Dword();
    const std::uint16_t count = in.Word();
    in.Short();
    in.Short();
    t.cx = in.Short();
    t.cy = in.Short();
    EXPECT_EQ(in.NameOrOrdinal(), "") << "no menu";
    EXPECT_EQ(in.NameOrOrdinal(), "") << "the standard dialog class";
    t.title = in.Text();
    if ((t.style & DS_SETFONT) != 0) {
        t.pointSize = in.Word();
        in.Word();  // weight
        in.Byte();  // italic
        in.Byte();  // character set
        t.font = in.Text();
    }
    for (std::uint16_t i = 0; i < count && in.Good(); ++i) {
        in.AlignToDword();
        Item item{};
        in.Dword();  // help id
        in.Dword();  // extended style
        item.style = in.Dword();
        item.x = in.Short();
        item.y = in.Short();
        item.cx = in.Short();
        item.cy = in.Short();
        item.id = in.Dword();
        item.windowClass = ClassName(in.NameOrOrdinal());
        item.text = in.NameOrOrdinal();
        in.Skip(in.Word());  // creation data
        t.items.push_back(item);
    }
    EXPECT_TRUE(in.Good());
    return t;
}

void ExpectItem(const Item& actual, const Item& expected) {
    SCOPED_TRACE("control " + std::to_string(static_cast<int>(expected.id)));
    EXPECT_EQ(actual.id, expected.id);
    // Class names are case-insensitive; the resource compiler writes them in capitals.
    EXPECT_EQ(::lstrcmpiA(actual.windowClass.c_str(), expected.windowClass.c_str()), 0)
        << actual.windowClass;
    EXPECT_EQ(actual.text, expected.text);
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.cx, expected.cx);
    EXPECT_EQ(actual.cy, expected.cy);
    EXPECT_EQ(actual.style & expected.style, expected.style)
        << std::hex << actual.style << " lacks " << expected.style;
    EXPECT_NE(actual.style & WS_CHILD, 0u);
    EXPECT_NE(actual.style & WS_VISIBLE, 0u);
}

const std::string kButton = "Button";
const std::string kStatic = "Static";
std::string Ordinal(std::uint32_t n) {
    return "#" + std::to_string(n);
}

TEST(DialogTemplateTest, MainDialogIsLaidOutAsSpecified) {
    const Template t = ReadTemplate(IDD_KOLVANE_DIALOG);
    const std::uint32_t frame = DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(t.style & frame, frame);
    EXPECT_EQ(t.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_EQ(t.exStyle, static_cast<std::uint32_t>(WS_EX_APPWINDOW));
    EXPECT_EQ(t.title, "Kolvane");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.cx, 235);
    EXPECT_EQ(t.cy, 107);

    ASSERT_EQ(t.items.size(), 4u) << "in tab order";
    ExpectItem(t.items[0],
               {IDOK, kButton, "install", 48, 86, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP});
    ExpectItem(t.items[1],
               {IDCANCEL, kButton, "quit", 132, 86, 50, 14, BS_PUSHBUTTON | WS_TABSTOP});
    ExpectItem(t.items[2], {IDC_DESCRIPTION, kStatic, MessageText(kMsgDescription), 7, 7, 221, 35,
                            SS_LEFT | WS_GROUP});
    ExpectItem(t.items[3],
               {IDC_PROGRESS, "msctls_progress32", "Progress1", 7, 37, 221, 21, WS_BORDER});
    EXPECT_EQ(t.items[1].style & 0xF, static_cast<std::uint32_t>(BS_PUSHBUTTON));
    EXPECT_EQ(t.items[2].style & (WS_TABSTOP | SS_TYPEMASK), 0u) << "left-aligned, no tab stop";
}

TEST(DialogTemplateTest, AboutBoxIsLaidOutAsSpecified) {
    const Template t = ReadTemplate(IDD_ABOUTBOX);
    const std::uint32_t frame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(t.style & frame, frame);
    EXPECT_EQ(t.style & WS_VISIBLE, 0u);
    EXPECT_EQ(t.title,
              "Info \xfc"
              "ber Kolvane");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.cx, 235);
    EXPECT_EQ(t.cy, 55);

    const std::uint32_t none = 0xFFFFFFFF;  // IDC_STATIC
    ASSERT_EQ(t.items.size(), 4u);
    ExpectItem(t.items[0], {none, kStatic, Ordinal(IDR_MAINFRAME), 11, 17, 20, 20, SS_ICON});
    ExpectItem(t.items[1], {none, kStatic, "Kolvane Version 1.0", 40, 10, 119, 8, SS_NOPREFIX});
    // The second line as the native program's about box shows it too.
    ExpectItem(t.items[2], {none, kStatic, KOLVANE_ABOUT_SECOND_LINE, 40, 25, 119, 8, 0});
    ExpectItem(t.items[3], {IDOK, kButton, "OK", 178, 7, 50, 14, BS_DEFPUSHBUTTON});
}

TEST(IconResourceTest, IsOne48By48ImageWith256Colours) {
    // RT_GROUP_ICON: a directory of the images.
    const std::vector<std::uint8_t> group = ResourceBytes(MAKEINTRESOURCEA(14), IDR_MAINFRAME);
    ASSERT_EQ(group.size(), 6u + 14u);
    EXPECT_EQ(group[4], 1) << "one image";
    EXPECT_EQ(group[6], 48) << "width";
    EXPECT_EQ(group[7], 48) << "height";
    EXPECT_EQ(group[8], 0) << "256 colours are written as 0";
    EXPECT_EQ(group[12] | (group[13] << 8), 8) << "bits per pixel";
}

TEST(ApplicationNameTest, IsTheExecutablesNameWithoutExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Pkg\\Kolvane.exe", "Kolvane"},
        {"D:\\Pkg\\Setup.exe", "Setup"},
        {"Z:\\a.b\\Setup.v2.exe", "Setup.v2"},
        {"Kolvane", "Kolvane"},
    };
    for (const auto& [path, name] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(win32::ApplicationName(path), name);
    }
}

TEST(MessageBoxTypeTest, BoxesWithoutIconGetTheFrameworksIcon) {
    using platform::DialogUi;
    const std::pair<unsigned, unsigned> cases[] = {
        {MB_OK, MB_OK | MB_ICONEXCLAMATION},
        {MB_YESNO, MB_YESNO | MB_ICONQUESTION},
        {MB_ICONINFORMATION, MB_ICONINFORMATION},
        {MB_YESNO | MB_ICONSTOP, MB_YESNO | MB_ICONSTOP},
    };
    for (const auto& [given, shown] : cases) {
        SCOPED_TRACE(given);
        EXPECT_EQ(DialogUi::WithIcon(given), shown);
    }
}

}  // namespace
}  // namespace kolvane
