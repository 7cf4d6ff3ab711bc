// tessel: the desktop search application. It indexes the names of the files and folders under
// its roots, keeps the index fresh, and answers the server's queries through its desktop window
// "AI_Tessel_RPC_Server". Usage: tessel [-tray] (the option is accepted; tessel has no window to
// show). Only one runs per desktop; another start leaves at once with code 0. SIGTERM or SIGINT
// end it with code 0.

#include <atomic>
#include <cstdio>

#include "platform/DesktopMessages.h"
#include "protocol/DesktopProtocol.h"
#include "tessel/Indexer.h"
#include "tessel/InstanceLock.h"
#include "tessel/SearchWindow.h"
#include "tessel/StopSignals.h"
#include "tessel/TesselSettings.h"

namespace {

std::atomic<bool> stopRequested{false};

void RequestStop(int) {
  stopRequested = true;
}

}  // namespace

int main() {
  using namespace webtessl;
  WatchStopSignals(RequestStop);
  const TInstanceLock lock;
  if (!lock.Held()) {
    if (DesktopFolder().empty()) {
      std::fprintf(stderr, "tessel: the desktop folder is not usable\n");
      return 1;
    }
    return 0;  // another tessel runs on this desktop
  }
  if (FindWindow(kUtilWindowClass, kSearchWindowTitle) != 0) return 0;
  TIndexer indexer(LoadTesselSettings());
  TSearchWindow window(indexer);
  if (!window.Valid()) {
    std::fprintf(stderr, "tessel: cannot open its window on the desktop\n");
    return 1;
  }
  indexer.Start();
  window.Run(stopRequested);
  return 0;
}
