#include "http/MimeTypes.h"

#include <array>
#include <map>
#include <utility>

#include "common/AsciiText.h"
#include "common/Mutex.h"

namespace webtessl {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kDefaultMimeTypes = {{
    {".htm", "text/html"},
    {".html", "text/html"},
    {".xml", "text/xml"},
    {".txt", "text/plain"},
    {".jpg", "image/jpeg"},
    {".gif", "image/gif"},
    {".png", "image/png"},
}};

struct TCaseInsensitiveLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return CompareText(a, b) < 0; }
};

// Extension (with its dot) to media type, ordered by extension. Thread-safe: readers share the
// lock, a registration takes it alone.
class TMimeTypeTable {
 public:
  // Nothing else can see the table while it is built, but the analysis wants the lock.
  TMimeTypeTable() {
    const TWriterLock lock(mutex_);
    for (const auto& [extension, mediaType] : kDefaultMimeTypes)
      types_.emplace(extension, mediaType);
  }

  void Register(std::string extension, std::string_view mediaType) {
    const TWriterLock lock(mutex_);
    types_.insert_or_assign(std::move(extension), std::string(mediaType));
  }

  std::string Find(std::string_view extension) const {
    const TReaderLock lock(mutex_);
    const auto found = types_.find(extension);
    return found == types_.end() ? std::string() : found->second;
  }

 private:
  mutable TSharedMutex mutex_;
  std::map<std::string, std::string, TCaseInsensitiveLess> types_ GUARDED_BY(mutex_);
};

// Built on first use; the language guarantees one construction when threads arrive together.
TMimeTypeTable& MimeTypes() {
  static TMimeTypeTable table;
  return table;
}

}  // namespace

void RegisterMimeType(std::string_view extension, std::string_view mediaType) {
  if (extension.empty()) return;
  std::string key = extension.front() == '.' ? std::string() : std::string(".");
  key += extension;
  MimeTypes().Register(std::move(key), mediaType);
}

std::string MimeTypeOf(std::string_view extension) {
  return MimeTypes().Find(extension);
}

}  // namespace webtessl
