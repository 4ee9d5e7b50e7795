#include "win32/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

#include "merge/file_access.h"
#include "merge/path_rules.h"
#include "platform/windows_text.h"
#include "win32/fatal_error.h"
#include "window/window_texts.h"

namespace tsmerge {
namespace {

using windows::narrow;
using windows::widen;

constexpr wchar_t kWindowClass[] = L"tsmerge.MainWindow";

// Longest path the save dialog hands back: the system's limit for wide-character paths.
constexpr DWORD kLongestPath = 32768;

int scaled(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }
// A measured size in pixels at dpi, in the layout's 96-DPI pixels, rounded up.
int unscaled(int value, UINT dpi) {
  return (value * USER_DEFAULT_SCREEN_DPI + static_cast<int>(dpi) - 1) / static_cast<int>(dpi);
}

std::wstring textOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  const int length = ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  return text;
}

SIZE textExtent(HWND control, HFONT font, const std::wstring& text) {
  SIZE size{};
  HDC dc = ::GetDC(control);
  const HGDIOBJ old = ::SelectObject(dc, font);
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return size;
}

// "1.1 MiB": a size for people to read.
std::string humanBytes(std::uint64_t bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

// The text with %1, %2 and %3 replaced by the arguments.
std::string formatted(const std::string& text, const std::string& first,
                      const std::string& second, const std::string& third) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '%' && next >= '1' && next <= '3') {
      result += next == '1' ? first : next == '2' ? second : third;
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, FileAccess& files, TimestampRewriter* rewriter)
    : instance_(instance), job_(*this, files, platformPathRules(), rewriter) {}

MainWindow::~MainWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
  if (font_ != nullptr) ::DeleteObject(font_);
}

bool MainWindow::create() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &MainWindow::windowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                        ::GetSystemMetrics(SM_CXSMICON),
                                                        ::GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }

  // A fixed single frame with a caption, the system menu and a minimise box; made hidden.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  window_ = ::CreateWindowExW(0, kWindowClass, widen(window_texts::kCaption).c_str(), style,
                              CW_USEDEFAULT, CW_USEDEFAULT, 200, 169, nullptr, nullptr, instance_,
                              this);
  if (window_ == nullptr) return false;
  dpi_ = ::GetDpiForWindow(window_);
  if (dpi_ == 0) dpi_ = USER_DEFAULT_SCREEN_DPI;

  const auto makeControl = [&](const wchar_t* kind, const char* text, DWORD controlStyle,
                               DWORD extended, int id) {
    return ::CreateWindowExW(extended, kind, widen(text).c_str(),
                             WS_CHILD | WS_VISIBLE | controlStyle, 0, 0, 0, 0, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  };
  // Neither button is a default button, so Enter presses neither; captions may wrap.
  chooseButton_ = makeControl(L"BUTTON", window_texts::kChooseFolderButton,
                              BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP, 0, kChooseButtonId);
  mergeButton_ = makeControl(L"BUTTON", window_texts::kMergeButton,
                             BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP | WS_DISABLED, 0,
                             kMergeButtonId);
  // Multi-line: wraps at the right edge, follows the caret vertically, no scroll bars, Enter
  // breaks the line, the selection hidden without the focus.
  folderEdit_ = makeControl(L"EDIT", "", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_LEFT |
                            WS_TABSTOP, WS_EX_CLIENTEDGE, kFolderEditId);
  correctionBox_ = makeControl(L"BUTTON", window_texts::kCorrectionBox,
                               BS_AUTOCHECKBOX | BS_MULTILINE | BS_VCENTER | WS_TABSTOP, 0,
                               kCorrectionBoxId);
  hintLabel_ = makeControl(L"STATIC", window_texts::kCorrectionHint, SS_LEFT | SS_NOPREFIX, 0,
                           kHintLabelId);
  for (HWND control : {chooseButton_, mergeButton_, folderEdit_, correctionBox_, hintLabel_}) {
    if (control == nullptr) return false;
  }
  ::SendMessageW(folderEdit_, EM_SETLIMITTEXT, 0, 0);  // no limit beyond the system's
  createFont();
  layout();
  ::DragAcceptFiles(window_, TRUE);

  // The created handler runs before the window is ever seen.
  job_.createBuckets();
  return true;
}

void MainWindow::show() {
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred on the primary screen, taskbar included.
  ::SetWindowPos(window_, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  ::SetFocus(chooseButton_);
}

bool MainWindow::translateKeyboard(MSG& message) {
  if (window_ == nullptr || (message.hwnd != window_ && !::IsChild(window_, message.hwnd))) {
    return false;
  }
  if (message.message == WM_KEYDOWN) {
    // Escape closes the window whichever control has the focus, the folder box included.
    if (message.wParam == VK_ESCAPE) {
      ::PostMessageW(window_, WM_CLOSE, 0, 0);
      return true;
    }
    // The folder box does not take Tab as text: Tab leaves it, as it leaves every control.
    if (message.wParam == VK_TAB && message.hwnd == folderEdit_) {
      const bool backward = ::GetKeyState(VK_SHIFT) < 0;
      ::SetFocus(::GetNextDlgTabItem(window_, folderEdit_, backward));
      return true;
    }
  }
  if ((message.message == WM_CHAR || message.message == WM_KEYUP) && message.hwnd == folderEdit_ &&
      (message.wParam == VK_TAB || message.wParam == VK_ESCAPE)) {
    return true;
  }
  // Tab order, Space on buttons and the check box.
  return ::IsDialogMessageW(window_, &message) != 0;
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  return self->handleMessage(message, wParam, lParam);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kChooseButtonId:
          if (HIWORD(wParam) == BN_CLICKED) chooseFolder();
          return 0;
        case kMergeButtonId:
          if (HIWORD(wParam) == BN_CLICKED) runMerge();
          return 0;
        case kFolderEditId:
          if (HIWORD(wParam) == EN_CHANGE && !writingFolderText_) folderTextChanged();
          return 0;
        case IDCANCEL:  // Escape, as the dialog manager reports it
          ::PostMessageW(window_, WM_CLOSE, 0, 0);
          return 0;
        default:
          return 0;  // IDOK: Enter does nothing outside the folder box
      }
    case WM_CTLCOLORSTATIC: {
      // The label and the check box are drawn over the window's face colour.
      const HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DROPFILES:
      folderDropped(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      createFont();
      layout();
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DESTROY:
      // The last window is gone: the event loop ends.
      window_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wParam, lParam);
  }
}

void MainWindow::createFont() {
  // The system's message font (the default GUI font of current Windows) at the window's DPI.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  HFONT font = nullptr;
  if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_)) {
    font = ::CreateFontIndirectW(&metrics.lfMessageFont);
  }
  if (font == nullptr) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  for (HWND control : {window_, chooseButton_, mergeButton_, folderEdit_, correctionBox_,
                       hintLabel_}) {
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font_ != nullptr) ::DeleteObject(font_);
  font_ = font;
}

void MainWindow::layout() {
  // What each text needs in the current font, in the layout's 96-DPI pixels.
  const auto buttonHint = [&](HWND button) {
    SIZE ideal{};
    ::SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
    return window::Size{unscaled(ideal.cx, dpi_), unscaled(ideal.cy, dpi_)};
  };
  TEXTMETRICW metrics{};
  HDC dc = ::GetDC(window_);
  const HGDIOBJ old = ::SelectObject(dc, font_);
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(window_, dc);

  window::ControlHints hints;
  hints.chooseButton = buttonHint(chooseButton_);
  hints.mergeButton = buttonHint(mergeButton_);
  hints.folderEditLineSpacing = unscaled(metrics.tmHeight, dpi_);
  hints.folderEditFrame = unscaled(::GetSystemMetricsForDpi(SM_CXEDGE, dpi_), dpi_);
  const SIZE boxText = textExtent(correctionBox_, font_, widen(window_texts::kCorrectionBox));
  const int checkMark = ::GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi_);
  hints.correctionBox = {unscaled(checkMark + 6 + boxText.cx, dpi_),
                         unscaled(std::max<int>(checkMark, boxText.cy), dpi_)};
  const std::wstring hint = widen(window_texts::kCorrectionHint);
  hints.hintLabelHeightForWidth = [&](int width) {
    RECT area{0, 0, scaled(width, dpi_), 0};
    HDC labelDc = ::GetDC(hintLabel_);
    const HGDIOBJ previous = ::SelectObject(labelDc, font_);
    ::DrawTextW(labelDc, hint.c_str(), static_cast<int>(hint.size()), &area,
                DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    ::SelectObject(labelDc, previous);
    ::ReleaseDC(hintLabel_, labelDc);
    return unscaled(area.bottom, dpi_);
  };
  const window::WindowLayout placed = window::layoutControls(hints);

  const auto place = [&](HWND control, const window::Rect& rect) {
    ::MoveWindow(control, scaled(rect.left, dpi_), scaled(rect.top, dpi_),
                 scaled(rect.width, dpi_), scaled(rect.height, dpi_), TRUE);
  };
  place(chooseButton_, placed.chooseButton);
  place(mergeButton_, placed.mergeButton);
  place(folderEdit_, placed.folderEdit);
  place(correctionBox_, placed.correctionBox);
  place(hintLabel_, placed.hintLabel);

  RECT frame{0, 0, scaled(placed.client.width, dpi_), scaled(placed.client.height, dpi_)};
  ::AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE)),
                             FALSE, 0, dpi_);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::chooseFolder() {
  const std::wstring prompt = widen(window_texts::kFolderPrompt);
  BROWSEINFOW browse{};
  browse.hwndOwner = window_;
  browse.lpszTitle = prompt.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
  if (chosen == nullptr) return;
  std::vector<wchar_t> path(kLongestPath, L'\0');
  const bool found = ::SHGetPathFromIDListEx(chosen, path.data(), kLongestPath, GPFIDL_DEFAULT);
  ::CoTaskMemFree(chosen);
  if (!found || path[0] == L'\0') return;
  writeFolderText(narrow(path.data(), ::wcslen(path.data())));
  ::SetFocus(mergeButton_);
}

void MainWindow::folderTextChanged() { ::EnableWindow(mergeButton_, TRUE); }

void MainWindow::writeFolderText(const std::string& text) {
  // A multi-line box does not report a text set by the program; the handler runs once here,
  // also when the text stays the same.
  writingFolderText_ = true;
  ::SetWindowTextW(folderEdit_, widen(text).c_str());
  writingFolderText_ = false;
  folderTextChanged();
}

void MainWindow::folderDropped(HDROP drop) {
  // A folder dropped on the window becomes the folder text, as if typed; for a file, its folder.
  const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring path(length + 1, L'\0');
  ::DragQueryFileW(drop, 0, path.data(), length + 1);
  ::DragFinish(drop);
  path.resize(length);
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (length == 0 || attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const std::size_t last = path.find_last_of(L'\\');
    if (last == std::wstring::npos) return;
    // The folder of D:\x.ts is the drive's root D:\ ; of D:\clips\x.ts, D:\clips.
    path.resize(last == 2 && path[1] == L':' ? last + 1 : last);
  }
  writeFolderText(narrow(path));
  ::SetFocus(mergeButton_);
}

void MainWindow::runMerge() {
  MergeResult result;
  try {
    result = job_.runMerge();
  } catch (const std::bad_alloc&) {
    fatalError(window_, window_texts::kOutOfMemory);
  }
  hideProgress();
  showResult(result);
}

void MainWindow::showResult(const MergeResult& result) {
  const std::optional<ResultMessage> message = resultMessage(result);
  if (!message) return;
  if (result.succeeded()) disableMergeButton();
  const UINT type = message->buttons == MessageButtons::Ok ? MB_OK : MB_OKCANCEL;
  const int answer = ::MessageBoxW(window_, widen(message->text).c_str(),
                                   widen(kMessageCaption).c_str(), type);
  if (result.succeeded() && answer == IDOK) {
    startFileManager(platformPathRules().outputFolder(result.outputPath));
  }
}

std::string MainWindow::folderText() { return narrow(textOf(folderEdit_)); }

bool MainWindow::rewriteTimestamps() {
  return ::SendMessageW(correctionBox_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::disableMergeButton() {
  // The keyboard skips a disabled button: the focus moves on before it goes.
  if (::GetFocus() == mergeButton_) ::SetFocus(folderEdit_);
  ::EnableWindow(mergeButton_, FALSE);
}

std::optional<OutputChoice> MainWindow::chooseOutput(const OutputRequest& request) {
  // One entry with the filter's text as its description; it sets no pattern of its own, so every
  // file shows and the name is taken as typed.
  std::wstring filter = widen(request.filter);
  filter.push_back(L'\0');
  filter += L"*";
  filter.push_back(L'\0');
  std::vector<wchar_t> fileName(kLongestPath, L'\0');
  const std::wstring offered = widen(request.lastPath);
  std::copy_n(offered.begin(), std::min<std::size_t>(offered.size(), kLongestPath - 1),
              fileName.begin());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = fileName.data();
  dialog.nMaxFile = kLongestPath;
  // The system asks before an existing file is replaced; the folder must exist.
  dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                 OFN_NOCHANGEDIR;
  if (!::GetSaveFileNameW(&dialog)) return std::nullopt;
  joining_ = true;
  joinStarted_ = std::chrono::steady_clock::now();
  // The dialog has asked before a file is replaced.
  return OutputChoice{narrow(fileName.data(), ::wcslen(fileName.data())), true};
}

void MainWindow::startFileManager(const std::string& folder) {
  // "explorer " and the folder, unquoted, in a normal window; not waited for, failures ignored.
  std::wstring commandLine = widen(explorerCommandLine(folder));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
}

ProgressAnswer MainWindow::mergeProgress(const MergeProgress& progress) {
  if (progress_ == nullptr) {
    if (!joining_ || std::chrono::steady_clock::now() - joinStarted_ < kProgressDelay) {
      return ProgressAnswer::Continue;
    }
    showProgress();
    if (progress_ == nullptr) return ProgressAnswer::Continue;
  } else if (progress.filesDone < progress.fileCount &&
             std::chrono::steady_clock::now() - progressShown_ < kProgressInterval) {
    // About ten updates a second: more would slow the join down.
    return ProgressAnswer::Continue;
  }
  progressShown_ = std::chrono::steady_clock::now();
  const int count = static_cast<int>(std::min<std::size_t>(progress.fileCount, 0x7FFFFFFF));
  const int done = static_cast<int>(std::min(progress.filesDone, progress.fileCount));
  ::SendMessageW(progressBar_, PBM_SETRANGE32, 0, count);
  ::SendMessageW(progressBar_, PBM_SETPOS, done, 0);
  const std::string text =
      formatted(window_texts::kProgressLabel, std::to_string(progress.filesDone),
                std::to_string(progress.fileCount), humanBytes(progress.bytesWritten));
  ::SetWindowTextW(progressText_, widen(text).c_str());
  // Repaints the windows; the main window is disabled meanwhile, so it takes no input.
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return ProgressAnswer::Continue;
}

void MainWindow::showProgress() {
  const int width = scaled(260, dpi_);
  const int height = scaled(110, dpi_);
  RECT owner{};
  ::GetWindowRect(window_, &owner);
  progress_ = ::CreateWindowExW(
      WS_EX_DLGMODALFRAME, L"#32770", widen(window_texts::kCaption).c_str(),
      WS_POPUP | WS_CAPTION | WS_VISIBLE, (owner.left + owner.right - width) / 2,
      (owner.top + owner.bottom - height) / 2, width, height, window_, nullptr, instance_, nullptr);
  if (progress_ == nullptr) return;
  RECT client{};
  ::GetClientRect(progress_, &client);
  const int margin = scaled(10, dpi_);
  progressText_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                    margin, margin, client.right - 2 * margin, scaled(36, dpi_),
                                    progress_, nullptr, instance_, nullptr);
  progressBar_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, margin,
                                   margin + scaled(44, dpi_), client.right - 2 * margin,
                                   scaled(16, dpi_), progress_, nullptr, instance_, nullptr);
  ::SendMessageW(progressText_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  ::EnableWindow(window_, FALSE);
}

void MainWindow::hideProgress() {
  joining_ = false;
  if (progress_ == nullptr) return;
  // The owner takes input again before its child window goes, so it keeps the activation.
  ::EnableWindow(window_, TRUE);
  ::DestroyWindow(progress_);
  progress_ = progressText_ = progressBar_ = nullptr;
}

}  // namespace tsmerge
