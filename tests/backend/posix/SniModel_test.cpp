// What of the Linux tray needs no bus: the D-Bus menu built from
// the tray's menu model, the icon's pixmaps, and where the tray looks for
// an icon theme and a session bus.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tray/posix/DbusMenuModel.h"
#include "tray/posix/DbusText.h"
#include "tray/posix/IconPixmaps.h"
#include "tray/posix/SessionBus.h"

namespace zeph::posix {
namespace {

namespace fs = std::filesystem;

// The tray's menu as it publishes it: hidden entries and separators included.
std::vector<MenuItem> TrayMenu(bool suspended) {
  return {
      {MenuEntry::About, "About...", true, false},
      {MenuEntry::Customize, "Customize...", true, false},
      {std::nullopt, "-", false, false},
      {MenuEntry::EventUtility, "*BETA* Enable Mouse * BETA*", false, false},
      {std::nullopt, "-", true, false},
      {MenuEntry::WebUpdate, "Web update...", true, false},
      {MenuEntry::Startup, "Startup settings...", true, false},
      {std::nullopt, "-", true, false},
      {MenuEntry::Suspend, "Suspend", true, suspended},
      {MenuEntry::Exit, "Exit", true, false},
  };
}

// An item's properties as text, one "name=value" each, in order.
std::string Describe(const std::vector<MenuProperty>& properties) {
  std::string text;
  for (const MenuProperty& p : properties) {
    if (!text.empty()) text += " ";
    text += p.name + "=";
    switch (p.kind) {
      case MenuProperty::Kind::String: text += "\"" + p.text + "\""; break;
      case MenuProperty::Kind::Bool: text += p.flag ? "true" : "false"; break;
      case MenuProperty::Kind::Int32: text += std::to_string(p.number); break;
    }
  }
  return text;
}

TEST(DbusMenu, EveryEntryOfTheModelInOrderWithItsKindVisibilityAndCheckMark) {
  const std::vector<DbusMenuItem> items = BuildMenuItems(TrayMenu(true));
  const std::vector<std::string> expected = {
      "label=\"About...\" enabled=true visible=true",
      "label=\"Customize...\" enabled=true visible=true",
      "type=\"separator\" visible=false",
      "label=\"*BETA* Enable Mouse * BETA*\" enabled=true visible=false "
      "toggle-type=\"checkmark\" toggle-state=0",
      "type=\"separator\" visible=true",
      "label=\"Web update...\" enabled=true visible=true",
      "label=\"Startup settings...\" enabled=true visible=true",
      "type=\"separator\" visible=true",
      "label=\"Suspend\" enabled=true visible=true toggle-type=\"checkmark\" toggle-state=1",
      "label=\"Exit\" enabled=true visible=true",
  };
  ASSERT_EQ(expected.size(), items.size());
  const std::vector<MenuItem> model = TrayMenu(true);
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(static_cast<int32_t>(i + 1), items[i].id) << i;
    EXPECT_EQ(model[i].entry, items[i].entry) << i;
    EXPECT_EQ(expected[i], Describe(items[i].properties)) << i;
  }
  EXPECT_EQ(
      "toggle-state=0",
      Describe(SelectProperties(BuildMenuItems(TrayMenu(false))[8].properties, {"toggle-state"})));
  EXPECT_EQ("children-display=\"submenu\"", Describe(RootProperties()));
}

TEST(DbusMenu, CaptionsBecomeLabelsWithTheAccessKeyMarkOfDbusMenus) {
  const std::map<std::string, std::string> rows = {
      {"About...", "About..."},
      {"&File", "_File"},
      {"Save &As", "Save _As"},
      {"Fish && Chips", "Fish & Chips"},
      {"snake_case", "snake__case"},
      {"ends&", "ends"},
      {"", ""},
  };
  for (const auto& [caption, label] : rows) EXPECT_EQ(label, MenuLabel(caption)) << caption;
}

TEST(DbusMenu, PropertiesAskedForByNameAndItemsById) {
  const std::vector<DbusMenuItem> items = BuildMenuItems(TrayMenu(false));
  const std::vector<MenuProperty>& suspend = items[8].properties;
  EXPECT_EQ(Describe(suspend), Describe(SelectProperties(suspend, {})));
  EXPECT_EQ("label=\"Suspend\" toggle-state=0",
            Describe(SelectProperties(suspend, {"toggle-state", "label", "no-such"})));
  EXPECT_EQ("", Describe(SelectProperties(suspend, {"icon-name"})));

  EXPECT_EQ(nullptr, FindMenuItem(items, 0));  // the root is no item
  EXPECT_EQ(nullptr, FindMenuItem(items, -1));
  EXPECT_EQ(nullptr, FindMenuItem(items, 11));
  ASSERT_NE(nullptr, FindMenuItem(items, 10));
  EXPECT_EQ(MenuEntry::Exit, FindMenuItem(items, 10)->entry);
}

TEST(DbusMenu, ANewModelChangesTheLayoutOnlyWhenItsShapeChanges) {
  const std::vector<DbusMenuItem> running = BuildMenuItems(TrayMenu(false));
  const std::vector<DbusMenuItem> suspended = BuildMenuItems(TrayMenu(true));

  EXPECT_TRUE(CompareMenus(running, BuildMenuItems(TrayMenu(false))).Empty());
  EXPECT_TRUE(CompareMenus({}, running).layout);  // the first model

  // The check mark: one item, one property.
  MenuChange tick = CompareMenus(running, suspended);
  EXPECT_FALSE(tick.layout);
  ASSERT_EQ(1u, tick.updated.size());
  EXPECT_EQ(9, tick.updated[0].id);
  EXPECT_EQ("toggle-state=1", Describe(tick.updated[0].properties));
  EXPECT_EQ("toggle-state=0", Describe(CompareMenus(suspended, running).updated[0].properties));

  // An entry or a separator shown or hidden.
  std::vector<MenuItem> shown = TrayMenu(false);
  shown[2].visible = true;
  shown[3].visible = true;
  shown[5].caption = "Web &update...";
  MenuChange visible = CompareMenus(running, BuildMenuItems(shown));
  EXPECT_FALSE(visible.layout);
  ASSERT_EQ(3u, visible.updated.size());
  EXPECT_EQ("visible=true", Describe(visible.updated[0].properties));
  EXPECT_EQ(4, visible.updated[1].id);
  EXPECT_EQ("label=\"Web _update...\"", Describe(visible.updated[2].properties));

  // Entries added, taken away, or changed into others.
  std::vector<MenuItem> longer = TrayMenu(false);
  longer.push_back({MenuEntry::About, "Again", true, false});
  EXPECT_TRUE(CompareMenus(running, BuildMenuItems(longer)).layout);
  EXPECT_TRUE(CompareMenus(BuildMenuItems(longer), running).layout);
  std::vector<MenuItem> swapped = TrayMenu(false);
  std::swap(swapped[0], swapped[1]);
  EXPECT_TRUE(CompareMenus(running, BuildMenuItems(swapped)).layout);
  std::vector<MenuItem> separator = TrayMenu(false);
  separator[1] = {std::nullopt, "-", true, false};
  EXPECT_TRUE(CompareMenus(running, BuildMenuItems(separator)).layout);
}

// --- the pixmaps

// The pixel at x, y of a pixmap as 0xAARRGGBB.
uint32_t PixelAt(const Pixmap& pixmap, int x, int y) {
  const size_t at = 4 * (static_cast<size_t>(y) * pixmap.width + x);
  return static_cast<uint32_t>(pixmap.bytes[at]) << 24 |
         static_cast<uint32_t>(pixmap.bytes[at + 1]) << 16 |
         static_cast<uint32_t>(pixmap.bytes[at + 2]) << 8 | pixmap.bytes[at + 3];
}

// The bus refuses a message with a string that is not UTF-8; the program's
// texts are the code page's bytes.
TEST(DbusText, Utf8StaysAndOtherBytesAreReadAsWindows1252) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"Racer", "Racer"},
      {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE"},
      {"Caf\xE9", "Caf\xC3\xA9"},
      {"\x80 \x99 \x81", "\xE2\x82\xAC \xE2\x84\xA2 \xC2\x81"},
      {"cut \xC3", "cut \xC3\x83"},                      // a sequence cut short
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                  // an overlong '/'
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate
      {std::string("a\0b", 3), "ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.out, DbusText(c.in)) << c.in;
  EXPECT_EQ("a &amp; b &lt;c&gt;", MarkupEscaped("a & b <c>"));
}

TEST(IconPixmap, ArgbValuesGoOutAlphaFirstInNetworkByteOrder) {
  const uint32_t argb[] = {0x80112233, 0x00000000, 0xFFFFFFFF, 0x01020304};
  const std::vector<uint8_t> expected = {0x80, 0x11, 0x22, 0x33, 0, 0, 0, 0,
                                         0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4};
  EXPECT_EQ(expected, NetworkOrderArgb(argb, 4));
  EXPECT_TRUE(NetworkOrderArgb(argb, 0).empty());
}

TEST(IconPixmap, BothImagesAtEverySizeDrawnAsTheWindowsIcons) {
  const std::vector<Pixmap> monitoring = IconPixmaps(IconImage::Monitoring);
  const std::vector<Pixmap> suspended = IconPixmaps(IconImage::Suspended);
  ASSERT_EQ(4u, monitoring.size());
  ASSERT_EQ(4u, suspended.size());
  const int sizes[] = {16, 22, 32, 48};
  for (size_t i = 0; i < 4; ++i) {
    for (const Pixmap* p : {&monitoring[i], &suspended[i]}) {
      const int size = sizes[i];
      ASSERT_EQ(size, p->width);
      ASSERT_EQ(size, p->height);
      ASSERT_EQ(static_cast<size_t>(size) * size * 4, p->bytes.size());
      // A ball: clear corners, an opaque middle.
      EXPECT_EQ(0u, PixelAt(*p, 0, 0) >> 24) << size;
      EXPECT_EQ(0u, PixelAt(*p, size - 1, size - 1) >> 24) << size;
      EXPECT_EQ(0xFFu, PixelAt(*p, size / 2, size / 4) >> 24) << size;
    }
    EXPECT_NE(monitoring[i].bytes, suspended[i].bytes) << sizes[i];
  }
  // At 48 pixels the left bar of the pause mark (x 15..20) is the mark's
  // dark grey; there the monitoring ball is teal (more green than red).
  EXPECT_EQ(0xFF262626u, PixelAt(suspended[3], 18, 24));
  const uint32_t teal = PixelAt(monitoring[3], 18, 24);
  EXPECT_EQ(0xFFu, teal >> 24);
  EXPECT_GT((teal >> 8) & 0xFF, (teal >> 16) & 0xFF);
  EXPECT_STREQ("zephmonitor", IconThemeName(IconImage::Monitoring));
  EXPECT_STREQ("zephmonitor-suspended", IconThemeName(IconImage::Suspended));
}

// --- the environment: icon themes and the session bus

class SniEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("zeph-sni-" + std::to_string(getpid()));
    fs::create_directories(root_);
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "HOME", "DBUS_SESSION_BUS_ADDRESS",
                             "XDG_RUNTIME_DIR"}) {
      const char* old = getenv(name);
      saved_.push_back({name, old != nullptr ? old : "", old != nullptr});
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const Saved& s : saved_) {
      if (s.was) {
        setenv(s.name, s.value.c_str(), 1);
      } else {
        unsetenv(s.name);
      }
    }
    fs::remove_all(root_);
  }
  void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }

  struct Saved {
    const char* name;
    std::string value;
    bool was;
  };
  fs::path root_;
  std::vector<Saved> saved_;
};

TEST_F(SniEnvironment, IconFoldersFollowTheXdgVariablesAndTheirDefaults) {
  EXPECT_EQ((std::vector<std::string>{"/usr/local/share", "/usr/share"}), IconDataFolders());
  setenv("HOME", "/home/someone", 1);
  setenv("XDG_DATA_DIRS", "/opt/share:relative/share::/usr/share", 1);
  EXPECT_EQ((std::vector<std::string>{"/home/someone/.local/share", "/opt/share", "/usr/share"}),
            IconDataFolders());
  setenv("XDG_DATA_HOME", "/data/home", 1);
  setenv("XDG_DATA_DIRS", "", 1);
  EXPECT_EQ((std::vector<std::string>{"/data/home", "/usr/local/share", "/usr/share"}),
            IconDataFolders());
}

TEST_F(SniEnvironment, AThemeIconIsAnAppsIconOfTheHicolorThemeInAnyFolder) {
  const std::vector<std::string> folders = {(root_ / "a").string(), (root_ / "b").string()};
  EXPECT_FALSE(ThemeIconInstalled("zephmonitor", folders));
  Touch(root_ / "a/icons/Adwaita/48x48/apps/zephmonitor.png");    // another theme
  Touch(root_ / "a/icons/hicolor/48x48/apps/zephmonitor.svg");    // not at a fixed size
  Touch(root_ / "a/icons/hicolor/48x48/status/zephmonitor.png");  // not an apps icon
  fs::create_directories(root_ / "a/icons/hicolor/32x32/apps/zephmonitor.png");  // a folder
  EXPECT_FALSE(ThemeIconInstalled("zephmonitor", folders));
  Touch(root_ / "b/icons/hicolor/22x22/apps/zephmonitor.png");
  EXPECT_TRUE(ThemeIconInstalled("zephmonitor", folders));
  EXPECT_FALSE(ThemeIconInstalled("zephmonitor-suspended", folders));
  Touch(root_ / "a/icons/hicolor/scalable/apps/zephmonitor-suspended.svg");
  EXPECT_TRUE(ThemeIconInstalled("zephmonitor-suspended", folders));
}

TEST_F(SniEnvironment, ASessionBusIsLookedForByItsAddressOrTheUsersBusSocket) {
  std::string why;
  EXPECT_FALSE(SessionBusAddressKnown(&why));
  EXPECT_EQ("no session bus (DBUS_SESSION_BUS_ADDRESS is not set)", why);
  setenv("DBUS_SESSION_BUS_ADDRESS", "", 1);
  EXPECT_FALSE(SessionBusAddressKnown(&why));
  setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
  Touch(root_ / "bus");  // a file is no socket
  EXPECT_FALSE(SessionBusAddressKnown(&why));
  fs::remove(root_ / "bus");
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (root_ / "bus").string();
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
  EXPECT_TRUE(SessionBusAddressKnown(&why));
  close(fd);
  unsetenv("XDG_RUNTIME_DIR");
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/proc/no-such-bus", 1);
  EXPECT_TRUE(SessionBusAddressKnown(&why));  // connecting finds out the rest
}

}  // namespace
}  // namespace zeph::posix
