#pragma once

#include <memory>

namespace webtessl {

class TSuperObject;

// A counted reference to a JSON value. The value lives while any reference to it is held (by a
// variable, a member table or an array) and is freed with the last one. An empty reference means
// "none", which is distinct from a value of the null kind. Copying a reference shares the value.
using ISuperObject = std::shared_ptr<TSuperObject>;

}  // namespace webtessl
