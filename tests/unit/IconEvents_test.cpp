// What the notification icon's mouse messages mean.
#include <gtest/gtest.h>

#include "tray/IconEvents.h"

namespace zeph::testing {
namespace {

TEST(IconEvents, OnlyTheDoubleClickAndTheRightButtonsReleaseMeanSomething) {
  struct Row {
    const char* name;
    double x, y;
    std::optional<IconEvent> event;
  } rows[] = {
      {"double click", 515, 0, IconEvent::Activated},
      {"right button up", 517, 0, IconEvent::MenuRequested},
      {"rounded to the message", 516.6, 0, IconEvent::MenuRequested},
      {"rounded down to the message", 515.4, 0, IconEvent::Activated},
      {"single left click", 513, 0, std::nullopt},
      {"left button up", 514, 0, std::nullopt},
      {"move over the icon", 512, 0, std::nullopt},
      {"right button down", 516, 0, std::nullopt},
      {"right double click", 518, 0, std::nullopt},
      {"not the icon (Y set)", 517, 3, std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(row.event, Form_MouseMove(0, 0, row.x, row.y)) << row.name;
}

}  // namespace
}  // namespace zeph::testing
