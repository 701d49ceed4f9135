#include "tray/win32/Dialogs.h"

#include "system/win32/ModelessDialog.h"
#include "tray/Dialogs.h"
#include "tray/win32/Dpi.h"
#include "tray/win32/MainWindowIds.h"

namespace zeph::win32 {

namespace {

// What the dialog was opened with: kept in the dialog's user data from
// WM_INITDIALOG on (messages before it find nothing).
template <typename T>
T* Context(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
  return reinterpret_cast<T*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

bool IsLink(HWND control) {
  const int id = GetDlgCtrlID(control);
  return id == IDC_ABOUT_WEBLINK || id == IDC_ABOUT_MAILLINK;
}

bool Ticked(HWND dialog, int checkBox) {
  return IsDlgButtonChecked(dialog, checkBox) == BST_CHECKED;
}

void BringForward(HWND window) {
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
}

// A dialog picture drawn at 100, 150 and 200 %.
struct Picture {
  int control;
  int bitmaps[3];
  int sizes[3];
};
constexpr Picture kLogo{IDC_ABOUT_LOGO, {IDB_LOGO, IDB_LOGO_150, IDB_LOGO_200}, {64, 96, 128}};
constexpr Picture kReminder{
    IDC_REMINDER_PICTURE, {IDB_REMINDER, IDB_REMINDER_150, IDB_REMINDER_200}, {48, 72, 96}};
constexpr char kPictureProperty[] = "ZephPicture";

// Shows the drawing of the picture nearest to the size the dialog's DPI
// asks for. The bitmap is the dialog's until it is destroyed
// (DropPicture) or replaced.
void ShowPicture(HWND dialog, const Picture& picture) {
  const int n = NearestSize(picture.sizes, 3, picture.sizes[0], WindowDpi(dialog));
  HWND control = GetDlgItem(dialog, picture.control);
  auto bitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                                MAKEINTRESOURCEA(picture.bitmaps[n]), IMAGE_BITMAP,
                                                0, 0, LR_DEFAULTCOLOR));
  if (control == nullptr || bitmap == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return;
  }
  // The control takes the bitmap's size.
  auto old = reinterpret_cast<HBITMAP>(
      SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  // The one loaded from the template, or ours from before.
  if (old != nullptr && old != bitmap) DeleteObject(old);
  SetPropA(dialog, kPictureProperty, bitmap);
}

void DropPicture(HWND dialog) {
  if (HANDLE bitmap = RemovePropA(dialog, kPictureProperty)) DeleteObject(bitmap);
}

}  // namespace

DialogWindows::~DialogWindows() {
  if (startUp_ != nullptr) DestroyWindow(startUp_);
}

// --- frmAbout

void DialogWindows::ShowAbout(AboutForm& form) {
  if (about_ != nullptr) return BringForward(about_);
  aboutForm_ = &form;
  DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUT), owner_, &AboutProcedure,
                  reinterpret_cast<LPARAM>(this));
  about_ = nullptr;
  aboutForm_ = nullptr;
}

INT_PTR CALLBACK DialogWindows::AboutProcedure(HWND dialog, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  auto* self = Context<DialogWindows>(dialog, message, lParam);
  if (self == nullptr) return FALSE;
  AboutForm* form = self->aboutForm_;
  switch (message) {
    case WM_INITDIALOG:
      self->about_ = dialog;
      form->Form_Load();
      SetWindowTextA(dialog, form->caption.c_str());
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, form->lblVersion.c_str());
      SetDlgItemTextA(dialog, IDC_ABOUT_INFO, kAboutInfoText);
      SetDlgItemTextA(dialog, IDC_ABOUT_CREDIT, kAboutCredit);
      SetDlgItemTextA(dialog, IDC_ABOUT_WEBLINK, kAuthorWebPage);
      SetDlgItemTextA(dialog, IDC_ABOUT_MAILLINK, kAuthorMail);
      ShowPicture(dialog, kLogo);
      return TRUE;  // the default button gets the focus
    case WM_DPICHANGED:
      // The system has scaled the dialog from its template (PerMonitorV2).
      ShowPicture(dialog, kLogo);
      return FALSE;
    case WM_DESTROY: DropPicture(dialog); return FALSE;
    case WM_CTLCOLORSTATIC: {
      if (!IsLink(reinterpret_cast<HWND>(lParam))) return FALSE;
      // The links in the colour of an active title bar, on the dialog's face.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, GetSysColor(COLOR_ACTIVECAPTION));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (!IsLink(reinterpret_cast<HWND>(wParam))) return FALSE;
      SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_ABOUT_WEBLINK:
          if (HIWORD(wParam) == STN_CLICKED) form->lblWebLink_Click();
          return TRUE;
        case IDC_ABOUT_MAILLINK:
          if (HIWORD(wParam) == STN_CLICKED) form->lblMailLink_Click();
          return TRUE;
        case IDC_ABOUT_SYSINFO: form->cmdSysInfo_Click(); return TRUE;
        case IDOK:
        case IDCANCEL: EndDialog(dialog, IDOK); return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// --- frmStartUp

void DialogWindows::ShowStartUp(StartUpForm& form) {
  if (startUp_ != nullptr) return BringForward(startUp_);
  startUpForm_ = &form;
  HWND dialog = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_STARTUP), owner_,
                                   &StartUpProcedure, reinterpret_cast<LPARAM>(this));
  if (dialog == nullptr) return;
  SetModelessDialog(dialog);
  ShowWindow(dialog, SW_SHOWNORMAL);
}

void DialogWindows::CloseStartUp() {
  const bool ticked = Ticked(startUp_, IDC_STARTUP_CHECK);
  StartUpForm& form = *startUpForm_;
  // Gone before the form saves, so that a box the save may show stands alone
  // and a new request opens a fresh dialog.
  DestroyWindow(startUp_);
  form.Form_Unload(ticked);
}

INT_PTR CALLBACK DialogWindows::StartUpProcedure(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  auto* self = Context<DialogWindows>(dialog, message, lParam);
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      self->startUp_ = dialog;
      CheckDlgButton(dialog, IDC_STARTUP_CHECK,
                     self->startUpForm_->Form_Load() ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    case WM_COMMAND:
      // OK, and the close button and Escape (IDCANCEL): every close saves.
      if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
      self->CloseStartUp();
      return TRUE;
    case WM_DESTROY:
      if (self->startUp_ == dialog) self->startUp_ = nullptr;
      if (ModelessDialog() == dialog) SetModelessDialog(nullptr);
      return FALSE;
  }
  return FALSE;
}

// --- frmCheckAttached

AttachedChoice DialogWindows::ShowCheckAttached(CheckAttachedForm& form) {
  const INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_CHECKATTACHED), owner_,
                                         &CheckAttachedProcedure, reinterpret_cast<LPARAM>(&form));
  return result == static_cast<INT_PTR>(AttachedChoice::Exit) ? AttachedChoice::Exit
                                                              : AttachedChoice::Continue;
}

INT_PTR CALLBACK DialogWindows::CheckAttachedProcedure(HWND dialog, UINT message, WPARAM wParam,
                                                       LPARAM lParam) {
  auto* form = Context<CheckAttachedForm>(dialog, message, lParam);
  if (form == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      ShowPicture(dialog, kReminder);
      ShowWindow(dialog, SW_SHOWNORMAL);
      // The focus on the default button rather than the first control, so
      // that a stray Space does not tick the box.
      SetFocus(GetDlgItem(dialog, IDOK));
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_REMINDER_IGNORE:
          if (HIWORD(wParam) == BN_CLICKED)
            form->chkIgnore_Click(Ticked(dialog, IDC_REMINDER_IGNORE));
          return TRUE;
        case IDC_REMINDER_EXIT:
          EndDialog(dialog, static_cast<INT_PTR>(AttachedChoice::Exit));
          return TRUE;
        case IDOK:
        case IDCANCEL:  // the close button continues too
          EndDialog(dialog, static_cast<INT_PTR>(AttachedChoice::Continue));
          return TRUE;
      }
      return FALSE;
    case WM_DPICHANGED: ShowPicture(dialog, kReminder); return FALSE;
    case WM_DESTROY: DropPicture(dialog); return FALSE;
  }
  return FALSE;
}

}  // namespace zeph::win32
