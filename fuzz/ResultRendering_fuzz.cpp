// Rendering of arbitrary answers of the desktop application: whatever the answer holds, the HTML
// has exactly one table row per result plus the header row (no member value can open a row of its
// own), and the JSON answer is pure ASCII.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "json/superobject.h"
#include "search/ResultCompletion.h"
#include "search/ResultRendering.h"
#include "text/uEncoding.h"

using namespace webtessl;

namespace {

size_t Count(std::string_view text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ISuperObject answer = ParseJsonText(FromSystemCodePage(text));
  if (!answer) return 0;
  const auto results = answer->MemberArray(u"results");
  if (!results) return 0;
  CompleteResults(*results);
  for (const bool downloads : {false, true}) {
    const std::string html = RenderHtml(*answer, static_cast<int64_t>(size) - 1, downloads);
    FuzzCheck(Count(html, "<tr>") == results->Length() + 1, "one row per result");
    FuzzCheck(Count(html, "<table") == 1, "one table");
  }
  for (const char c : RenderJson(*answer)) {
    FuzzCheck(static_cast<unsigned char>(c) < 0x80, "the JSON answer is ASCII");
  }
  return 0;
}
