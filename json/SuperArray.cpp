#include "json/SuperArray.h"

namespace webtessl {

ISuperObject TSuperArray::ElementAt(size_t index) const {
  return index < elements_.size() ? elements_[index] : ISuperObject();
}

}  // namespace webtessl
