// Feeds arbitrary text to the JSON parser, then checks that whatever it accepts is written in
// every mode to a text that parses back to the same text, and that member access on the result
// holds up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "json/superobject.h"

namespace {

using webtessl::ISuperObject;
using webtessl::ParseJsonText;

// The first byte chooses how the rest becomes UTF-16: odd takes little-endian byte pairs (to reach
// every 16-bit character), even widens each byte (so that ASCII structure is easy to find).
std::u16string ToUtf16(const uint8_t* data, size_t size) {
  std::u16string text;
  if (size == 0) return text;
  const bool pairs = (data[0] & 1) != 0;
  ++data;
  --size;
  if (pairs) {
    for (size_t i = 0; i + 1 < size; i += 2) {
      text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
  } else {
    text.assign(data, data + size);
  }
  return text;
}

void CheckRoundTrip(const ISuperObject& value, bool indent, bool escape) {
  const std::u16string written = value->ToJsonText(indent, escape);
  const ISuperObject again = ParseJsonText(written);
  if (!again || again->ToJsonText(indent, escape) != written) std::abort();
  if (escape) {
    for (const char16_t c : written) {
      if (c >= 0x80) std::abort();
    }
  }
}

// Every listed member is found, and removing it takes out exactly that one.
void ExerciseMembers(const ISuperObject& value, const std::u16string& text) {
  const webtessl::TSuperTableString* members = value->AsObject();
  if (members == nullptr) return;
  (void)value->FillTemplate(text, u"%", u"%");
  constexpr size_t kMaxNames = 8;
  std::u16string names[kMaxNames];
  size_t count = 0;
  for (const webtessl::TSuperObjectIter member : *members) {
    if (count == kMaxNames) break;
    names[count++] = member.name;
  }
  for (size_t i = 0; i < count; ++i) {
    const size_t before = members->Count();
    if (members->Find(names[i]) == nullptr) std::abort();
    value->RemoveMember(names[i]);
    if (members->Find(names[i]) != nullptr || members->Count() != before - 1) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = ToUtf16(data, size);
  const ISuperObject value = ParseJsonText(text);
  if (!value) return 0;
  for (const bool indent : {false, true}) {
    for (const bool escape : {false, true}) CheckRoundTrip(value, indent, escape);
  }
  ExerciseMembers(value, text);
  return 0;
}
