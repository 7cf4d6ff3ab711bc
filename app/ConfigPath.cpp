#include "app/ConfigPath.h"

#include "config/ConfigKeys.h"
#include "platform/Paths.h"

namespace webtessl {

std::string DefaultConfigPath() {
  return AppDataFolder() + kPathDelimiter + kConfigFileFolder + kPathDelimiter + kConfigFileName;
}

}  // namespace webtessl
