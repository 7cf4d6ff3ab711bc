#include "tessel/PathOrder.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "tessel/NameIndex.h"

namespace webtessl {
namespace {

// A place in the order: an entry itself, or the entries under a folder.
struct TItem {
  TEntryId entry;
  bool under;
};

// The sort key of an item: a text, followed by "/" when `slash`.
struct TKey {
  std::string_view text;
  bool slash;
};

int CompareKeys(const TKey& a, const TKey& b) {
  const size_t common = std::min(a.text.size(), b.text.size());
  if (const int order = std::memcmp(a.text.data(), b.text.data(), common); order != 0) return order;
  if (a.text.size() == b.text.size()) return static_cast<int>(a.slash) - static_cast<int>(b.slash);
  // One text is a prefix of the other: the shorter one's next character is its slash or its end.
  if (a.text.size() < b.text.size()) {
    if (!a.slash) return -1;
    return '/' < static_cast<unsigned char>(b.text[common]) ? -1 : 1;
  }
  if (!b.slash) return 1;
  return static_cast<unsigned char>(a.text[common]) < '/' ? -1 : 1;
}

class TPathRanker {
 public:
  explicit TPathRanker(const TNameIndex& index) : index_(index), ranks_(index.IdLimit(), 0) {
    GroupChildren();
  }

  std::vector<uint32_t> Run() {
    std::vector<TItem> top;
    for (const TEntryId root : index_.Roots()) {
      top.push_back({root, false});
      top.push_back({root, true});
    }
    SortItems(top);
    std::vector<std::pair<std::vector<TItem>, size_t>> stack;
    stack.emplace_back(std::move(top), 0);
    uint32_t next = 0;
    while (!stack.empty()) {
      auto& [items, position] = stack.back();
      if (position == items.size()) {
        stack.pop_back();
        continue;
      }
      const TItem item = items[position++];
      if (!item.under) {
        ranks_[item.entry] = next++;
      } else if (std::vector<TItem> below = ItemsUnder(item.entry); !below.empty()) {
        SortItems(below);
        stack.emplace_back(std::move(below), 0);  // invalidates `items`, used no more
      }
    }
    return std::move(ranks_);
  }

 private:
  // Lists the children of every folder contiguously (counting sort by folder).
  void GroupChildren() {
    const size_t limit = index_.IdLimit();
    firstChild_.assign(limit + 1, 0);
    index_.ForEachLive([&](TEntryId id) {
      if (!index_.IsRoot(id)) ++firstChild_[index_.Parent(id) + 1];
    });
    for (size_t i = 0; i < limit; ++i) firstChild_[i + 1] += firstChild_[i];
    children_.resize(firstChild_[limit]);
    std::vector<uint32_t> fill(firstChild_.begin(), firstChild_.end() - 1);
    index_.ForEachLive([&](TEntryId id) {
      if (!index_.IsRoot(id)) children_[fill[index_.Parent(id)]++] = id;
    });
  }

  std::vector<TItem> ItemsUnder(TEntryId folder) const {
    std::vector<TItem> items;
    for (uint32_t i = firstChild_[folder]; i < firstChild_[folder + 1]; ++i) {
      const TEntryId child = children_[i];
      items.push_back({child, false});
      if (index_.IsDirectory(child)) items.push_back({child, true});
    }
    return items;
  }

  TKey KeyOf(const TItem& item) const {
    if (!index_.IsRoot(item.entry)) return {index_.Name(item.entry), item.under};
    const std::string& path = index_.RootPath(item.entry);
    // Paths under the root "/" continue it without another slash.
    return {path, item.under && path != "/"};
  }

  void SortItems(std::vector<TItem>& items) const {
    std::sort(items.begin(), items.end(), [this](const TItem& a, const TItem& b) {
      const int order = CompareKeys(KeyOf(a), KeyOf(b));
      return order != 0 ? order < 0 : (!a.under && b.under);
    });
  }

  const TNameIndex& index_;
  std::vector<uint32_t> ranks_;
  std::vector<uint32_t> firstChild_;
  std::vector<TEntryId> children_;
};

}  // namespace

std::vector<uint32_t> ComputePathRanks(const TNameIndex& index) {
  return TPathRanker(index).Run();
}

}  // namespace webtessl
