// The one notification-area icon. Every change goes through here, so the
// record (image and tip) is always the one last sent.
#include "monitor/MainForm.h"

namespace zeph {

void MainForm::SetIcon(IconMessage message, IconImage image, const std::string& tip) {
  iconImage_ = image;
  iconTip_ = tip;
  desktop_.NotifyIcon(message, image, tip);
}

}  // namespace zeph
