#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace webtessl {

// The desktop message layer: hidden windows that processes of one user's desktop find by class
// and title and exchange messages with, in the manner of window messages.
//
// A window has a class name, a title and a handle (a positive 32-bit number, unique on the
// desktop while the window lives). It belongs to the thread that created it: its window procedure
// runs only on that thread, when that thread calls PeekMessage (for messages sent from anywhere)
// or DispatchMessage (for messages it posted). FindWindow, IsWindow, GetWindowText and
// GetClassName work across processes; PostMessage reaches windows of the calling process only.
// Every operation is thread-safe; the ones that act as the window's owner (PeekMessage,
// DispatchMessage, WaitMessageTimeout, DestroyWindow, SetWindowText) do nothing when called from
// another thread. A window lives while its owning process does: the desktop forgets the windows
// of a process that died without destroying them.
//
// The desktop is a folder only its user can enter; every record in it must be its user's, and
// a sender talks only to a listener of its own user (and a receiver only to senders of it): $WEBTESSL_DESKTOP when set, else
// $XDG_RUNTIME_DIR/webtessl-desktop, else /tmp/webtessl-desktop-<uid>.
// On Windows the windows are the system's own hidden windows on the calling thread's desktop, and
// the desktop folder is "webtessl-desktop" in the user's temporary folder.

using TWindowHandle = uint32_t;

constexpr uint32_t WM_COPYDATA = 74;
constexpr uint32_t WM_USER = 0x400;
constexpr uint32_t PM_NOREMOVE = 0;
constexpr uint32_t PM_REMOVE = 1;
constexpr uint32_t kInfiniteWait = 0xFFFFFFFF;

// Largest payload one WM_COPYDATA carries between processes; a frame announcing more is refused.
constexpr uint32_t kMaxCopyDataBytes = 64u * 1024 * 1024;

// What a WM_COPYDATA message carries; lParam points to it, valid only during the call.
struct TCopyDataStruct {
  uintptr_t dwData = 0;
  uint32_t cbData = 0;
  const void* lpData = nullptr;
};

// One message as PeekMessage returns it and DispatchMessage delivers it.
struct TMessage {
  TWindowHandle window = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

// A window procedure: (message, wParam, lParam) -> the message result.
using TWindowProc = std::function<intptr_t(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

// The desktop folder in force for this process, created (mode 0700) when absent; empty when it
// cannot be made or is not private to this user: not a folder of this user's, or one that others
// may enter or write (such a folder is refused, never repaired; then no window can be created
// or found).
std::string DesktopFolder();

// The path of the desktop folder chosen for this process, usable or not (for telling the user
// which folder was refused).
std::string DesktopFolderPath();

// Creates a window owned by the calling thread; returns 0 when the desktop is unusable.
TWindowHandle CreateWindow(std::string_view className, std::string_view title, TWindowProc proc);

// Removes the window from the desktop and drops its queued messages. Owner thread only.
bool DestroyWindow(TWindowHandle window);

// The live window with that class and exactly that title, or 0. Stale records are removed.
TWindowHandle FindWindow(std::string_view className, std::string_view title);

// Whether a window with this handle lives on the desktop.
bool IsWindow(TWindowHandle window);

// The window's title (empty when it no longer exists). Works across processes.
std::string GetWindowText(TWindowHandle window);

// The window's class name (empty when it no longer exists). Works across processes.
std::string GetClassName(TWindowHandle window);

// Changes the window's title as others see it. Owner thread only.
bool SetWindowText(TWindowHandle window, std::string_view title);

// Sends WM_COPYDATA to the window and waits at most timeoutMs for the receiver to handle it.
// True, with the receiver's result in `result`, when it did; false when the window is gone, the
// message is not WM_COPYDATA, or the limit passed. The calling thread handles no incoming
// messages meanwhile (the blocking rule). Any thread.
bool SendMessageTimeout(TWindowHandle window, uint32_t message, TWindowHandle wParam,
                        const TCopyDataStruct& data, uint32_t timeoutMs, intptr_t& result);

// Gives the caller's window a fresh handle, so that answers to what it sends from now on (with
// the fresh handle as the sender's) can be told from answers to what it sent before: a message
// addressed to a handle that an earlier renewal gave is never handed to the window's procedure
// (it is acknowledged with 0, or refused). The window keeps its class, title and procedure
// (messages posted to it before may be dropped); FindWindow still finds it under a handle that
// reaches it. Returns the fresh handle, 0 when the window is not the caller's. Owner thread only.
TWindowHandle RenewWindowHandle(TWindowHandle window);

// Queues a message for a window of this process; false when there is none. Any thread.
bool PostMessage(TWindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Handles the messages sent to the window (window 0: to every window of the calling thread),
// then takes the oldest posted one into `msg` (removing it with PM_REMOVE); false when none.
// Owner thread only.
bool PeekMessage(TMessage& msg, TWindowHandle window, uint32_t removeFlag);

// Calls the procedure of msg.window with the message and returns its result (0 when that
// window is gone). Owner thread only.
intptr_t DispatchMessage(const TMessage& msg);

// Sleeps until a message may be waiting for the window (window 0: any window of the calling
// thread) or timeoutMs passes; true when woken by a message. Owner thread only.
bool WaitMessageTimeout(TWindowHandle window, uint32_t timeoutMs);

}  // namespace webtessl
