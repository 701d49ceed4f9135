// The desktop of the unit tests: the recording desktop with its effects also
// in a shared log (the fake system's), so that tests see the order across
// the seam, and with dialogs whose forms run: loaded, worked by the test,
// closed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tray/recording/RecordingDesktop.h"

namespace zeph {

class FakeDesktop final : public RecordingDesktop {
 public:
  explicit FakeDesktop(std::vector<std::string>& sharedLog) { log = &sharedLog; }

  // What the user does in a dialog while it is open.
  std::function<void(AboutForm&)> onAbout;
  std::function<void(StartUpForm&, bool& ticked)> onStartUp;  // then it is closed

  std::vector<std::string> aboutSeen;  // caption and version text of each About dialog
  std::vector<bool> startUpLoaded;     // the box as each start-up dialog opened

  void ShowAbout(AboutForm& form) override;
  void ShowStartUp(StartUpForm& form) override;
};

}  // namespace zeph
