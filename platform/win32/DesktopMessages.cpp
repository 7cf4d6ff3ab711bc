// Win32 backend of platform/DesktopMessages.h: real hidden windows of the user's desktop, found
// with FindWindowA and reached with SendMessageTimeoutW and PostMessageA. Each window's procedure
// (a std::function) is kept in a table by window; one window procedure of the class routes
// WM_COPYDATA and the user messages to it and leaves every other message to DefWindowProcA.

// windows.h first: the names that it defines as macros (CreateWindow, WM_COPYDATA, ...) are
// the names of this layer, so they are undefined before the layer's header is read. Below, the
// system's functions are called by their explicit A and W names.
#include "platform/win32/WinApi.h"

#undef CreateWindow
#undef FindWindow
#undef GetClassName
#undef GetWindowText
#undef SetWindowText
#undef SendMessageTimeout
#undef PostMessage
#undef PeekMessage
#undef DispatchMessage
#undef WM_COPYDATA
#undef WM_USER
#undef PM_NOREMOVE
#undef PM_REMOVE

#include "platform/DesktopMessages.h"

#include "common/Mutex.h"

#include <memory>
#include <unordered_map>

namespace webtessl {
namespace {

constexpr DWORD kWindowStyle = WS_POPUP;
constexpr DWORD kWindowExtendedStyle = WS_EX_TOOLWINDOW;
// Class names are at most 256 characters long.
constexpr int kClassNameBuffer = 257;
// Titles longer than this are read cut to it.
constexpr int kTitleBuffer = 4096;
constexpr char kDesktopFolderName[] = "webtessl-desktop";

// The window procedures of this process's windows, by window. Thread-safe: one lock guards the
// table; a procedure is called outside it, kept alive by its shared pointer.
class TProcedureTable {
 public:
  void Add(HWND window, TWindowProc proc) {
    const TMutexLock guard(lock_);
    procedures_[window] = std::make_shared<const TWindowProc>(std::move(proc));
  }
  void Remove(HWND window) {
    const TMutexLock guard(lock_);
    procedures_.erase(window);
  }
  std::shared_ptr<const TWindowProc> Find(HWND window) {
    const TMutexLock guard(lock_);
    const auto found = procedures_.find(window);
    return found == procedures_.end() ? nullptr : found->second;
  }

 private:
  TMutex lock_;
  std::unordered_map<HWND, std::shared_ptr<const TWindowProc>> procedures_ GUARDED_BY(lock_);
};

TProcedureTable& Procedures() {
  static TProcedureTable table;
  return table;
}

bool IsRouted(UINT message) {
  return message == WM_COPYDATA || message >= WM_USER;
}

LRESULT CALLBACK RoutingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::shared_ptr<const TWindowProc> proc =
      IsRouted(message) ? Procedures().Find(window) : nullptr;
  if (!proc) return ::DefWindowProcA(window, message, wParam, lParam);
  if (message != WM_COPYDATA) return (*proc)(message, wParam, lParam);
  const auto& native = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  const TCopyDataStruct data{native.dwData, native.cbData, native.lpData};
  return (*proc)(message, wParam, reinterpret_cast<intptr_t>(&data));
}

HINSTANCE Instance() {
  return ::GetModuleHandleA(nullptr);
}

// Registers the window class once per process. A class of that name registered with another
// procedure is registered again with ours.
bool RegisterWindowClass(const std::string& className) {
  static TMutex lock;
  const TMutexLock guard(lock);
  WNDCLASSA existing{};
  if (::GetClassInfoA(Instance(), className.c_str(), &existing) != FALSE) {
    if (existing.lpfnWndProc == RoutingWindowProc) return true;
    ::UnregisterClassA(className.c_str(), Instance());
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RoutingWindowProc;
  windowClass.hInstance = Instance();
  windowClass.lpszClassName = className.c_str();
  return ::RegisterClassA(&windowClass) != 0;
}

// Window handles of the desktop are 32-bit values, also in 64-bit processes.
TWindowHandle HandleOf(HWND window) {
  return static_cast<TWindowHandle>(reinterpret_cast<uintptr_t>(window));
}

HWND WindowOf(TWindowHandle handle) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
}

bool IsCallersWindow(TWindowHandle handle) {
  return handle != 0 &&
         ::GetWindowThreadProcessId(WindowOf(handle), nullptr) == ::GetCurrentThreadId();
}

// Window 0 stands for every window of the calling thread.
bool MayPump(TWindowHandle handle) {
  return handle == 0 || IsCallersWindow(handle);
}

bool IsOwnProcessWindow(TWindowHandle handle) {
  DWORD process = 0;
  return ::GetWindowThreadProcessId(WindowOf(handle), &process) != 0 &&
         process == ::GetCurrentProcessId();
}

}  // namespace

// Windows are found on the desktop of the calling thread; the files that belong with them (such
// as an application's instance lock) go to a folder of the user's own temporary folder, which
// only the user may enter.
std::string DesktopFolderPath() {
  wchar_t temporary[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, temporary);
  if (length == 0 || length > MAX_PATH) return {};
  return win32::FromWide(temporary) + kDesktopFolderName;
}

std::string DesktopFolder() {
  const std::string folder = DesktopFolderPath();
  if (folder.empty()) return {};
  if (::CreateDirectoryA(folder.c_str(), nullptr) == FALSE &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return {};
  }
  return folder;
}

TWindowHandle CreateWindow(std::string_view className, std::string_view title, TWindowProc proc) {
  const std::string name(className);
  if (!RegisterWindowClass(name)) return 0;
  const HWND window =
      ::CreateWindowExA(kWindowExtendedStyle, name.c_str(), std::string(title).c_str(),
                        kWindowStyle, 0, 0, 0, 0, nullptr, nullptr, Instance(), nullptr);
  if (window == nullptr) return 0;
  Procedures().Add(window, std::move(proc));
  return HandleOf(window);
}

bool DestroyWindow(TWindowHandle window) {
  if (!IsCallersWindow(window)) return false;
  const bool destroyed = ::DestroyWindow(WindowOf(window)) != FALSE;
  Procedures().Remove(WindowOf(window));
  return destroyed;
}

// The system matches titles without regard to case; a window is found only under exactly the
// title it bears, so each window the system offers is checked once more.
TWindowHandle FindWindow(std::string_view className, std::string_view title) {
  const std::string name(className);
  const std::string text(title);
  HWND candidate = nullptr;
  while ((candidate = ::FindWindowExA(nullptr, candidate, name.c_str(), text.c_str())) != nullptr) {
    if (GetWindowText(HandleOf(candidate)) == title) return HandleOf(candidate);
  }
  return 0;
}

bool IsWindow(TWindowHandle window) {
  return window != 0 && ::IsWindow(WindowOf(window)) != FALSE;
}

// InternalGetWindowText reads the title without sending a message: a window of another thread
// of this process that is busy cannot make the caller wait.
std::string GetWindowText(TWindowHandle window) {
  if (!IsWindow(window)) return {};
  std::wstring title(kTitleBuffer, L'\0');
  const int length = ::InternalGetWindowText(WindowOf(window), title.data(), kTitleBuffer);
  title.resize(static_cast<size_t>(length > 0 ? length : 0));
  return win32::FromWide(title);
}

std::string GetClassName(TWindowHandle window) {
  if (!IsWindow(window)) return {};
  char name[kClassNameBuffer] = {};
  const int length = ::GetClassNameA(WindowOf(window), name, kClassNameBuffer);
  return std::string(name, static_cast<size_t>(length > 0 ? length : 0));
}

bool SetWindowText(TWindowHandle window, std::string_view title) {
  return IsCallersWindow(window) &&
         ::SetWindowTextA(WindowOf(window), std::string(title).c_str()) != FALSE;
}

bool SendMessageTimeout(TWindowHandle window, uint32_t message, TWindowHandle wParam,
                        const TCopyDataStruct& data, uint32_t timeoutMs, intptr_t& result) {
  result = 0;
  if (message != WM_COPYDATA || !IsWindow(window)) return false;
  COPYDATASTRUCT native{data.dwData, data.cbData, const_cast<void*>(data.lpData)};
  DWORD_PTR answer = 0;
  const LRESULT sent = ::SendMessageTimeoutW(
      WindowOf(window), WM_COPYDATA, reinterpret_cast<WPARAM>(WindowOf(wParam)),
      reinterpret_cast<LPARAM>(&native), SMTO_BLOCK, timeoutMs, &answer);
  if (sent == 0) return false;
  result = static_cast<intptr_t>(answer);
  return true;
}

// A window of the system has one handle for life: the fresh handle is a new window of the same
// class, title and procedure, and the old one goes, so a late answer to it finds no window.
TWindowHandle RenewWindowHandle(TWindowHandle window) {
  if (!IsCallersWindow(window)) return 0;
  const std::shared_ptr<const TWindowProc> proc = Procedures().Find(WindowOf(window));
  if (!proc) return 0;
  const TWindowHandle renewed = CreateWindow(GetClassName(window), GetWindowText(window), *proc);
  if (renewed == 0) return 0;
  DestroyWindow(window);
  return renewed;
}

bool PostMessage(TWindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return IsWindow(window) && IsOwnProcessWindow(window) &&
         ::PostMessageA(WindowOf(window), message, wParam, lParam) != FALSE;
}

bool PeekMessage(TMessage& msg, TWindowHandle window, uint32_t removeFlag) {
  if (!MayPump(window)) return false;
  MSG native{};
  if (::PeekMessageA(&native, WindowOf(window), 0, 0, removeFlag) == FALSE) return false;
  msg = TMessage{HandleOf(native.hwnd), native.message, native.wParam, native.lParam};
  return true;
}

intptr_t DispatchMessage(const TMessage& msg) {
  if (!IsCallersWindow(msg.window)) return 0;
  MSG native{};
  native.hwnd = WindowOf(msg.window);
  native.message = msg.message;
  native.wParam = msg.wParam;
  native.lParam = msg.lParam;
  return ::DispatchMessageA(&native);
}

bool WaitMessageTimeout(TWindowHandle window, uint32_t timeoutMs) {
  if (!MayPump(window)) return false;
  return ::MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
         WAIT_OBJECT_0;
}

}  // namespace webtessl
