#pragma once

#include <string>

namespace webtessl {

// The program's version. The build reads it from this line for the packages it makes, so it is
// written in one place only.
constexpr char kProgramVersion[] = "0.1.0";

// What the command line may ask for instead of serving.
enum class TInformation { kHelp, kVersion };

// The text printed for the request, ending in a line end.
std::string InformationText(TInformation information);

}  // namespace webtessl
