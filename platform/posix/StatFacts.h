#pragma once

#include <sys/stat.h>

#include "platform/FileSystem.h"

namespace webtessl {

// The facts of a stat record: kind, size (regular files only) and modification time.
TFileFacts FactsOf(const struct stat& info);

}  // namespace webtessl
