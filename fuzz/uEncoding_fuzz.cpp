// The conversions between UTF-8, UTF-16 and the code pages, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/CodePage.h"
#include "text/uEncoding.h"

using namespace webtessl;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // Every UTF-16 text survives EncodeUtf8 then DecodeUtf8, lone surrogates included.
  std::u16string wide;
  for (size_t i = 0; i + 1 < size; i += 2)
    wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  Check(DecodeUtf8(EncodeUtf8(wide)) == wide);

  // Decoding either gives nothing or text that encodes to at most as many bytes again.
  const std::u16string decoded = DecodeUtf8(bytes);
  Check(decoded.size() <= bytes.size());

  // The system's UTF-8 conversion repairs invalid input once and for all.
  const std::string repaired =
      WideToMultiByte(kCodePageUtf8, MultiByteToWide(kCodePageUtf8, bytes), '?');
  Check(WideToMultiByte(kCodePageUtf8, MultiByteToWide(kCodePageUtf8, repaired), '?') == repaired);

  // Every Windows-1252 byte has a character and comes back unchanged.
  Check(WideToMultiByte(kCodePageWindows1252, MultiByteToWide(kCodePageWindows1252, bytes), '?') ==
        bytes);
  Check(WideToMultiByte(kCodePageWindows1252, wide, '?').size() == wide.size());

  // The default encoding passes bytes through.
  const TEncoding& encoding = TEncoding::Default();
  Check(encoding.GetString(encoding.GetBytes(bytes)) == bytes);
  return 0;
}
