#include "tessel/FolderListing.h"

namespace webtessl {

bool IsHiddenName(std::string_view name) {
  return !name.empty() && name.front() == '.';
}

}  // namespace webtessl
