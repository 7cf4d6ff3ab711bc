#pragma once

#include <string_view>

#include "platform/posix/UniqueFd.h"

namespace webtessl::posix {

// Opens `relative` below the open folder `folder` for reading (not blocking, close-on-exec)
// without following a symbolic link and without climbing above the folder: with openat2 where
// the kernel has it, else one component at a time with O_NOFOLLOW (where "." and ".." are
// refused). Invalid with errno set (ELOOP for a link, EXDEV for a climb) on failure.
TUniqueFd OpenBeneath(int folder, std::string_view relative);

}  // namespace webtessl::posix
