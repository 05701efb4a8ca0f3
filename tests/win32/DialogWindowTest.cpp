// Dialog 101 as it comes up in normal mode: its controls, the start folder,
// the keys and commands that must not end it, the About box, and Exit.
#include <gtest/gtest.h>

#include <cstring>

#include "OskeltZtexGlob.h"
#include "WineDriver.h"

using namespace wine_dialog;

namespace {

struct ControlSeen {
  std::string Class;
  int Id;
  std::string Text;
};

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

std::vector<ControlSeen> ChildrenInOrder(HWND dialog) {
  std::vector<ControlSeen> seen;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    seen.push_back({ClassOf(child), static_cast<int>(static_cast<short>(GetDlgCtrlID(child))),
                    WindowText(child)});
  return seen;
}

HWND FocusOf(DWORD pid, HWND dialog) {
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  (void)pid;
  GUITHREADINFO info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

}  // namespace

// The controls in tab order with their classes, ids and texts; the start
// folder two levels up; the focus on Convert.
TEST(WineDialog, ControlsAndDefaultBaseFolder) {
  TempFolder root("w");
  ASSERT_FALSE(root.Path().empty());
  const std::string start = root / "game\\tools";
  const std::string textures = root / "data\\Textures";
  MakeFolders(start);
  MakeFolders(textures);

  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "", start)) << ProgramPath();
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";

  std::string path;
  EXPECT_TRUE(PollUntil([&] { return WindowText(GetDlgItem(dialog, 1001), &path) && !path.empty(); }));
  EXPECT_TRUE(SameText(path, textures)) << "path field: " << path << "\nexpected: " << textures;
  EXPECT_GE(path.size(), std::strlen("data\\Textures"));
  EXPECT_EQ(path.substr(path.size() - std::strlen("data\\Textures")), "data\\Textures");

  const std::vector<ControlSeen> expected = {
      {"Static", -1, "&Path :"},   {"Edit", 1001, path},        {"Button", 1002, "..."},
      {"RICHEDIT", 1003, ""},      {"Button", 1004, "&Info..."}, {"Button", 1005, "&Convert"},
      {"Button", 1006, "E&xit"},   {"msctls_progress32", 1008, ""}};
  const std::vector<ControlSeen> seen = ChildrenInOrder(dialog);
  ASSERT_EQ(seen.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("control " + std::to_string(i));
    // The dialog manager finds classes without regard to case; so may Wine
    // report them.
    EXPECT_TRUE(SameText(seen[i].Class, expected[i].Class)) << seen[i].Class;
    EXPECT_EQ(seen[i].Id, expected[i].Id);
    EXPECT_EQ(seen[i].Text, expected[i].Text);
  }
  for (const int id : {1002, 1004, 1005, 1006}) EXPECT_TRUE(IsEnabled(dialog, id)) << id;

  const HWND convert = GetDlgItem(dialog, 1005);
  EXPECT_TRUE(PollUntil([&] { return FocusOf(program.Pid(), dialog) == convert; }))
      << "the focus is not on Convert";

  // Closing the idle window ends the program normally.
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(EndsWithCode(program, 0)) << "the program did not end after WM_CLOSE";
}

// Esc (as the key and as the command without a control) leaves the dialog
// open; Info shows the About box over it; Exit ends with code 0.
TEST(WineDialog, EscapeIgnoredAboutBoxAndExit) {
  TempFolder base("e");
  ASSERT_FALSE(base.Path().empty());
  Child program;
  ASSERT_TRUE(program.Start(ProgramPath(), "", base.Path()));
  const HWND dialog = WaitMainDialog(program);
  ASSERT_TRUE(dialog) << "dialog 101 did not appear";

  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  PostMessageA(GetDlgItem(dialog, 1005), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  // Posted after the keys: once the About box is up, they have been handled.
  ASSERT_TRUE(Click(dialog, 1004));
  const HWND about = WaitDialogWindow(program.Pid(), "About", dialog);
  ASSERT_TRUE(about) << "no About box after Info";
  EXPECT_TRUE(program.Running());
  EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog)) << "Esc ended the dialog";
  EXPECT_EQ(BoxText(about), TEXT_ABOUT);
  EXPECT_EQ(BoxText(about).rfind("OskeltZTEX 2.6\r\nBrannoc TEXture Converter\r\n", 0), 0u);
  EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);

  ASSERT_TRUE(AnswerBox(about, IDOK));
  EXPECT_TRUE(PollUntil([&] { return !HasDialogWindow(program.Pid(), "About", dialog); }))
      << "the About box stayed open after OK";
  EXPECT_TRUE(program.Running());

  ASSERT_TRUE(Click(dialog, 1006));
  ASSERT_TRUE(EndsWithCode(program, 0)) << "the program did not end after Exit";
}
