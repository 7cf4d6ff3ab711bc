#pragma once

#include <sys/mount.h>

#include <filesystem>

namespace webtessl::testing_tessel {

// An RAII bind mount of a folder onto another; unmounted when it goes. Mounting needs the right
// to: Mounted() says whether it was allowed.
class TBindMount {
 public:
  TBindMount(const std::filesystem::path& from, const std::filesystem::path& onto) : onto_(onto) {
    mounted_ = ::mount(from.c_str(), onto.c_str(), nullptr, MS_BIND, nullptr) == 0;
  }
  ~TBindMount() {
    if (mounted_) ::umount2(onto_.c_str(), MNT_DETACH);
  }
  TBindMount(const TBindMount&) = delete;
  TBindMount& operator=(const TBindMount&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  std::filesystem::path onto_;
  bool mounted_ = false;
};

}  // namespace webtessl::testing_tessel
