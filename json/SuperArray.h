#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "json/SuperObjectRef.h"

namespace webtessl {

// The elements of a JSON array: references to values (an element may be none), dense from index 0
// to Length() - 1. Owned by its array value. Not thread-safe.
class TSuperArray final {
 public:
  TSuperArray() = default;
  TSuperArray(const TSuperArray&) = delete;
  TSuperArray& operator=(const TSuperArray&) = delete;
  TSuperArray(TSuperArray&&) noexcept = default;
  TSuperArray& operator=(TSuperArray&&) noexcept = default;

  size_t Length() const { return elements_.size(); }  // number of elements
  ISuperObject ElementAt(size_t index) const;         // none past the end
  void AppendElement(ISuperObject value) { elements_.push_back(std::move(value)); }  // at Length()
  std::span<const ISuperObject> Elements() const { return elements_; }  // all, in order

 private:
  std::vector<ISuperObject> elements_;
};

}  // namespace webtessl
