// Windows: no folder is watched. The indexer then reads its folders again every rescan interval.

#include "tessel/FolderWatch.h"

namespace webtessl {

struct TFolderWatch::TImpl {};

TFolderWatch::TFolderWatch() : impl_(std::make_unique<TImpl>()) {}

TFolderWatch::~TFolderWatch() = default;

bool TFolderWatch::Usable() const { return false; }

int TFolderWatch::Fd() const { return -1; }

TFolderWatch::TAddResult TFolderWatch::Add(const std::string& /*path*/, int& watch) {
  watch = -1;
  return TAddResult::Failed;
}

void TFolderWatch::Remove(int /*watch*/) {}

void TFolderWatch::ReadEvents(const std::function<void(const TFolderEvent&)>& /*onEvent*/) {}

}  // namespace webtessl
