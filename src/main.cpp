// ZephMonitor: adapts the controller to the game that is running.
#include "monitor/MainForm.h"
#include "system/Platform.h"

int main(int argc, char** argv) {
  std::unique_ptr<zeph::System> sys = zeph::CreatePlatformSystem(argc, argv);
  zeph::MainForm frmMain(*sys);
  sys->SetCommands(&frmMain);
  frmMain.Form_Load();
  sys->RunMessageLoop();
  return 0;
}
