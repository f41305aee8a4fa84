// What the built Tessel.dll carries for the host and for Windows: its export table, its version,
// its manifests and the templates of its two dialogs, read from the image as the loader sees it;
// and that the dialogs' labels show whole in the dialog font the system gives them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host/host_driving.h"
#include "res/resource_ids.h"
#include "tests/test_host.h"

using testing::Each;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace {

class TesselImage : public testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryW((host_.Folder() + L"\\Tessel.dll").c_str());
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override
    {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    const BYTE* Base() const { return reinterpret_cast<const BYTE*>(module_); }

    const IMAGE_EXPORT_DIRECTORY* Exports() const
    {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(Base() + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        return directory.VirtualAddress != 0
                   ? reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Base() + directory.VirtualAddress)
                   : nullptr;
    }

    std::string Resource(int id, LPCWSTR type) const
    {
        const HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        if (found == nullptr) {
            return std::string();
        }
        const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(bytes, SizeofResource(module_, found));
    }

    TestHost host_;
    HMODULE module_ = nullptr;
};

// Ordinals must match exactly; a class name as the dialog manager compares it, without regard to
// case (windres writes names in upper case).
bool SameClass(const std::wstring& left, const std::wstring& right)
{
    if (left.rfind(L"#", 0) == 0 || right.rfind(L"#", 0) == 0) {
        return left == right;
    }
    return lstrcmpiW(left.c_str(), right.c_str()) == 0;
}

// A control or dialog class given by its predefined ordinal reads as "#128" and so on.
struct Control {
    int id;
    std::wstring className;
    std::wstring text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    WORD creationData;

    bool operator==(const Control& other) const
    {
        return id == other.id && SameClass(className, other.className) && text == other.text && style == other.style &&
               exStyle == other.exStyle && x == other.x && y == other.y && cx == other.cx && cy == other.cy &&
               creationData == other.creationData;
    }
};

void PrintTo(const Control& control, std::ostream* out)
{
    std::string text;
    for (wchar_t c : control.text) {
        text += c < 128 ? static_cast<char>(c) : '?';
    }
    std::string className(control.className.begin(), control.className.end());
    *out << "{" << control.id << ", " << className << ", \"" << text << "\", 0x" << std::hex << control.style
         << ", ex 0x" << control.exStyle << std::dec << ", " << control.x << "," << control.y << "," << control.cx
         << "," << control.cy << ", data " << control.creationData << "}";
}

struct Dialog {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, className, caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<Control> controls;
};

// Reads a DLGTEMPLATE and its DLGITEMTEMPLATEs field by field.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}

    bool Overrun() const { return overrun_; }

    template <typename Value>
    Value Read()
    {
        Value value{};
        if (position_ + sizeof(Value) > bytes_.size()) {
            overrun_ = true;
            return value;
        }
        std::memcpy(&value, bytes_.data() + position_, sizeof(Value));
        position_ += sizeof(Value);
        return value;
    }

    std::wstring ReadText()
    {
        std::wstring text;
        for (wchar_t c = Read<wchar_t>(); c != L'\0' && !overrun_; c = Read<wchar_t>()) {
            text += c;
        }
        return text;
    }

    // Empty, an ordinal ("#n"), or a name.
    std::wstring ReadNameOrOrdinal()
    {
        const WORD first = Read<WORD>();
        if (first == 0) {
            return std::wstring();
        }
        if (first == 0xFFFF) {
            return L"#" + std::to_wstring(Read<WORD>());
        }
        position_ -= sizeof(WORD);
        return ReadText();
    }

    void AlignToDword() { position_ = (position_ + 3) & ~size_t{3}; }

private:
    const std::string& bytes_;
    size_t position_ = 0;
    bool overrun_ = false;
};

Dialog ParseDialog(const std::string& bytes)
{
    Dialog dialog;
    TemplateReader reader(bytes);
    dialog.style = reader.Read<DWORD>();
    if ((dialog.style & 0xFFFF0000u) == 0xFFFF0000u) {
        dialog.extended = true;  // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF
        return dialog;
    }
    dialog.exStyle = reader.Read<DWORD>();
    const WORD count = reader.Read<WORD>();
    dialog.x = reader.Read<short>();
    dialog.y = reader.Read<short>();
    dialog.cx = reader.Read<short>();
    dialog.cy = reader.Read<short>();
    dialog.menu = reader.ReadNameOrOrdinal();
    dialog.className = reader.ReadNameOrOrdinal();
    dialog.caption = reader.ReadText();
    if ((dialog.style & DS_SETFONT) != 0) {
        dialog.pointSize = reader.Read<WORD>();
        dialog.font = reader.ReadText();
    }
    for (WORD i = 0; i < count && !reader.Overrun(); ++i) {
        reader.AlignToDword();
        Control control;
        control.style = reader.Read<DWORD>();
        control.exStyle = reader.Read<DWORD>();
        control.x = reader.Read<short>();
        control.y = reader.Read<short>();
        control.cx = reader.Read<short>();
        control.cy = reader.Read<short>();
        control.id = static_cast<short>(reader.Read<WORD>());
        control.className = reader.ReadNameOrOrdinal();
        control.text = reader.ReadNameOrOrdinal();
        control.creationData = reader.Read<WORD>();
        dialog.controls.push_back(control);
    }
    EXPECT_FALSE(reader.Overrun()) << "the template ends before its last control";
    return dialog;
}

// A static label of an open dialog: how wide its text draws in the control's font, against the
// width of the control's client area, in pixels.
struct Label {
    std::wstring text;
    std::wstring face;
    int textWidth;
    int roomWidth;
};

void PrintTo(const Label& label, std::ostream* out)
{
    *out << "{\"" << ToUtf8(label.text) << "\" in " << ToUtf8(label.face) << " needs " << label.textWidth
         << " of " << label.roomWidth << " px}";
}

MATCHER(ShowsWhole, "")
{
    return arg.textWidth <= arg.roomWidth;
}

// The font that draws, where GetTextFaceW would name the face asked for ("Ms Shell Dlg").
std::wstring DrawnFace(HDC dc)
{
    const UINT size = GetOutlineTextMetricsW(dc, 0, nullptr);
    if (size == 0) {
        return L"(not an outline font)";
    }
    std::vector<BYTE> bytes(size);
    auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(bytes.data());
    GetOutlineTextMetricsW(dc, size, metrics);
    return reinterpret_cast<const wchar_t*>(bytes.data() + reinterpret_cast<UINT_PTR>(metrics->otmpFamilyName));
}

std::vector<Label> StaticLabels(HWND dialog)
{
    std::vector<Label> labels;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, L"Static") != 0) {
            continue;
        }
        Label label = {TestHost::WindowText(child), L"", 0, 0};
        const HDC dc = GetDC(child);
        const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0)));
        label.face = DrawnFace(dc);
        SIZE size = {};
        GetTextExtentPoint32W(dc, label.text.c_str(), static_cast<int>(label.text.size()), &size);
        SelectObject(dc, previous);
        ReleaseDC(child, dc);
        RECT client = {};
        GetClientRect(child, &client);
        label.textWidth = size.cx;
        label.roomWidth = client.right - client.left;
        labels.push_back(label);
    }
    return labels;
}

const std::wstring BUTTON = L"#128";
const std::wstring EDIT = L"#129";
const std::wstring STATIC = L"#130";
const std::wstring COMBOBOX = L"#133";

}  // namespace

TEST_F(TesselImage, ExportsExactlyTheSixEventsAtOrdinalsOneToSix)
{
    const IMAGE_EXPORT_DIRECTORY* exports = Exports();
    ASSERT_NE(exports, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(Base() + exports->Name), "Tessel.dll");
    EXPECT_EQ(exports->Base, 1u);
    ASSERT_EQ(exports->NumberOfFunctions, 6u);
    ASSERT_EQ(exports->NumberOfNames, 6u);

    const auto* functions = reinterpret_cast<const DWORD*>(Base() + exports->AddressOfFunctions);
    const auto* names = reinterpret_cast<const DWORD*>(Base() + exports->AddressOfNames);
    const auto* nameOrdinals = reinterpret_cast<const WORD*>(Base() + exports->AddressOfNameOrdinals);
    std::map<DWORD, std::string> byOrdinal;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        byOrdinal[exports->Base + nameOrdinals[i]] = reinterpret_cast<const char*>(Base() + names[i]);
    }
    EXPECT_THAT(byOrdinal, ElementsAre(std::pair<const DWORD, std::string>(1, "TTBEvent_InitPluginInfo"),
                                       std::pair<const DWORD, std::string>(2, "TTBEvent_FreePluginInfo"),
                                       std::pair<const DWORD, std::string>(3, "TTBEvent_Execute"),
                                       std::pair<const DWORD, std::string>(4, "TTBEvent_WindowsHook"),
                                       std::pair<const DWORD, std::string>(5, "TTBEvent_Init"),
                                       std::pair<const DWORD, std::string>(6, "TTBEvent_Unload")));

    // FreePluginInfo and WindowsHook are one empty function; every other event has its own.
    EXPECT_EQ(functions[1], functions[3]);
    for (int first = 0; first < 6; ++first) {
        for (int second = first + 1; second < 6; ++second) {
            if (!(first == 1 && second == 3)) {
                EXPECT_NE(functions[first], functions[second]) << "ordinals " << first + 1 << " and " << second + 1;
            }
        }
    }
}

TEST_F(TesselImage, VersionResourceSaysOnePointFiveForFileAndProduct)
{
    const std::string version = Resource(1, RT_VERSION);
    ASSERT_FALSE(version.empty());
    // VS_FIXEDFILEINFO starts with its signature, DWORD-aligned after the "VS_VERSION_INFO" key.
    const char signature[] = {'\xBD', '\x04', '\xEF', '\xFE'};
    const size_t at = version.find(std::string(signature, 4));
    ASSERT_NE(at, std::string::npos);
    VS_FIXEDFILEINFO info;
    ASSERT_LE(at + sizeof(info), version.size());
    std::memcpy(&info, version.data() + at, sizeof(info));

    EXPECT_EQ(info.dwFileVersionMS, 0x00010005u);
    EXPECT_EQ(info.dwFileVersionLS, 0u);
    EXPECT_EQ(info.dwProductVersionMS, 0x00010005u);
    EXPECT_EQ(info.dwProductVersionLS, 0u);
}

TEST_F(TesselImage, ManifestOneAsksForCommonControlsSixAndManifestTwoOnlyForTheCallersRights)
{
    const std::string first = Resource(1, RT_MANIFEST);
    const std::string second = Resource(2, RT_MANIFEST);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());

    const size_t identityAt = first.find("<assemblyIdentity");
    ASSERT_NE(identityAt, std::string::npos);
    const std::string identity = first.substr(identityAt, first.find('>', identityAt) - identityAt);
    EXPECT_THAT(identity, HasSubstr("name=\"Microsoft.Windows.Common-Controls\""));
    EXPECT_THAT(identity, HasSubstr("version=\"6.0.0.0\""));
    EXPECT_THAT(first, HasSubstr("<dependentAssembly>"));
    EXPECT_THAT(first, HasSubstr("level=\"asInvoker\""));

    EXPECT_THAT(second, HasSubstr("level=\"asInvoker\""));
    EXPECT_THAT(second, Not(HasSubstr("dependency")));
}

TEST_F(TesselImage, SettingsDialogTemplateHoldsItsCaptionFontAndControls)
{
    const Dialog dialog = ParseDialog(Resource(IDD_SETTINGS, RT_DIALOG));
    ASSERT_FALSE(dialog.extended) << "a DIALOGEX template";
    EXPECT_EQ(dialog.style, 0x90C808CCu);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 320);
    EXPECT_EQ(dialog.cy, 192);
    EXPECT_EQ(dialog.menu, L"");
    EXPECT_EQ(dialog.className, L"");
    EXPECT_EQ(dialog.caption, L"Tesselの設定");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.font, L"Ms Shell Dlg");
    EXPECT_THAT(dialog.controls,
                ElementsAre(Control{1, BUTTON, L"OK", 0x50010001, 0, 212, 168, 48, 16, 0},
                            Control{2, BUTTON, L"キャンセル", 0x50010000, 0, 264, 168, 48, 16, 0},
                            Control{1000, L"SysListView32", L"", 0x5081080D, 0, 8, 8, 248, 148, 0},
                            Control{1001, BUTTON, L"追加...", 0x50010000, 0, 264, 8, 48, 16, 0},
                            Control{1002, BUTTON, L"編集...", 0x50010000, 0, 264, 28, 48, 16, 0},
                            Control{1003, BUTTON, L"削除..", 0x50010000, 0, 264, 52, 48, 16, 0},
                            Control{1005, BUTTON, L"全画面のプログラムではhotkeyを使わない", 0x50010003, 0, 8, 158, 248,
                                    10, 0}));
}

TEST_F(TesselImage, ItemEditorTemplateHoldsItsCaptionFontAndControls)
{
    const Dialog dialog = ParseDialog(Resource(IDD_ITEM_EDITOR, RT_DIALOG));
    ASSERT_FALSE(dialog.extended) << "a DIALOGEX template";
    EXPECT_EQ(dialog.style, 0x90C800CCu);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 240);
    EXPECT_EQ(dialog.cy, 116);
    EXPECT_EQ(dialog.menu, L"");
    EXPECT_EQ(dialog.className, L"");
    EXPECT_EQ(dialog.caption, L"アイテム追加/編集");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.font, L"Ms Shell Dlg");
    EXPECT_THAT(dialog.controls,
                ElementsAre(Control{1, BUTTON, L"OK", 0x50010001, 0, 132, 92, 48, 16, 0},
                            Control{2, BUTTON, L"キャンセル", 0x50010000, 0, 184, 92, 48, 16, 0},
                            Control{1000, L"msctls_hotkey32", L"", 0x50010000, 0, 40, 8, 108, 12, 0},
                            Control{1001, BUTTON, L"Winキー", 0x50010003, 0, 152, 8, 40, 12, 0},
                            Control{1002, EDIT, L"", 0x50810080, 0, 40, 24, 136, 12, 0},
                            Control{1003, BUTTON, L"file...", 0x50010000, 0, 180, 24, 24, 12, 0},
                            Control{1004, BUTTON, L"cmd...", 0x50010000, 0, 208, 24, 24, 12, 0},
                            Control{1005, EDIT, L"", 0x50810080, 0, 40, 40, 136, 12, 0},
                            Control{-1, STATIC, L"command", 0x50020202, 0, 4, 24, 32, 12, 0},
                            Control{-1, STATIC, L"param", 0x50020202, 0, 4, 40, 32, 12, 0},
                            Control{-1, STATIC, L"hotkey", 0x50020202, 0, 4, 8, 32, 12, 0},
                            Control{1006, COMBOBOX, L"", 0x50210003, 0, 40, 56, 72, 80, 0},
                            Control{1007, EDIT, L"", 0x50810080, 0, 116, 56, 88, 12, 0},
                            Control{1008, BUTTON, L"...", 0x50010000, 0, 208, 56, 24, 12, 0},
                            Control{1009, EDIT, L"", 0x50810080, 0, 116, 72, 88, 12, 0},
                            Control{-1, STATIC, L"使う場所", 0x50020202, 0, 4, 56, 32, 12, 0},
                            Control{-1, STATIC, L"ただし次は除く", 0x50020202, 0, 40, 72, 72, 12, 0}));
}

// The settings dialog, the item editor and the command picker as the user opens them one from the
// other, in the dialog font of this system.
TEST(DialogLabels, EveryStaticLabelOfTheThreeDialogsShowsWhole)
{
    TestHost host;
    std::vector<Label> labels;
    const auto measure = [&](HWND dialog) {
        const std::vector<Label> found = StaticLabels(dialog);
        labels.insert(labels.end(), found.begin(), found.end());
    };
    host.OnWindow(L"#32770", L"Tesselの設定", [&](HWND settings) {
        measure(settings);
        host.OnWindow(L"#32770", L"アイテム追加", [&](HWND editor) {
            measure(editor);
            host.OnWindow(L"#32770", L"プラグインコマンド選択", [&](HWND picker) {
                measure(picker);
                TestHost::Click(picker, IDCANCEL);
            });
            TestHost::Click(editor, IDC_CHOOSE_COMMAND);
            TestHost::Click(editor, IDCANCEL);
        });
        TestHost::Click(settings, IDC_ADD_ITEM);
        TestHost::Click(settings, IDCANCEL);
    });
    ASSERT_TRUE(host.Load({L"Tessel.dll", L"Sample.dll"}));
    host.Execute(L"Tessel.dll", 1);
    ASSERT_TRUE(host.WaitForWindows());

    EXPECT_THAT(labels, Not(IsEmpty()));
    EXPECT_THAT(labels, Each(ShowsWhole()));
}
