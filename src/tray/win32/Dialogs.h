// The three dialogs on Windows, built from the resource templates: About and
// the attach reminder are modal, Startup Settings is modeless. The forms
// (tray/Dialogs.h) hold their logic; these windows show it and pass the
// user's actions on.
#pragma once

#include "system/win32/WinApi.h"
#include "tray/Desktop.h"

namespace zeph::win32 {

class DialogWindows {
 public:
  // The dialogs are owned by owner (the main window).
  DialogWindows(HINSTANCE instance, HWND owner) : instance_(instance), owner_(owner) {}
  // A Startup Settings dialog still open goes without saving.
  ~DialogWindows();
  DialogWindows(const DialogWindows&) = delete;
  DialogWindows& operator=(const DialogWindows&) = delete;

  // Modal. While one is open (the menu still works), a second call only
  // brings it forward.
  void ShowAbout(AboutForm& form);
  // Modeless, one at a time; the form must outlive the dialog.
  void ShowStartUp(StartUpForm& form);
  AttachedChoice ShowCheckAttached(CheckAttachedForm& form);

  HWND AboutWindow() const { return about_; }
  HWND StartUpWindow() const { return startUp_; }

 private:
  static INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK StartUpProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK CheckAttachedProcedure(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam);
  void CloseStartUp();

  HINSTANCE instance_;
  HWND owner_;
  HWND about_ = nullptr;
  AboutForm* aboutForm_ = nullptr;
  HWND startUp_ = nullptr;
  StartUpForm* startUpForm_ = nullptr;
};

}  // namespace zeph::win32
