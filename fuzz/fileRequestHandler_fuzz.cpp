// Request URIs against a small web root: whatever a client sends, the answer is a file inside the
// web root, a redirect to this server, a page, or 404; never a path above the root.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/fileRequestHandler.h"
#include "fuzz/FuzzCheck.h"

namespace {

// A web root with files and folders, beside a file that no URI may reach; removed at exit.
class TWebRoot {
 public:
  TWebRoot()
      : folder_(std::filesystem::temp_directory_path() /
                ("webtessl-fuzz-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_ / "webroot" / "a" / "b");
    std::ofstream(folder_ / "webroot" / "a" / "b.txt") << "b";
    std::ofstream(folder_ / "webroot" / "index.html") << "index";
    std::ofstream(folder_ / "secret.txt") << "secret";
  }
  ~TWebRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Path() const { return (folder_ / "webroot").string(); }

 private:
  const std::filesystem::path folder_;
};

bool HasDotSegment(const std::string& path) {
  return path.find("/../") != std::string::npos || path.find("/./") != std::string::npos ||
         path.ends_with("/..") || path.ends_with("/.");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace webtessl;
  static const TWebRoot webRoot;
  static const TFileRequestHandler handler(webRoot.Path(), true);
  const std::string uri(reinterpret_cast<const char*>(data), size);
  const TResolvedRequest resolved = handler.ResolveRequest(uri);
  switch (resolved.StatusCode) {
    case 200:
      FuzzCheck(resolved.FilePath.empty() != resolved.BodyText.empty(), "a file or a page");
      if (!resolved.FilePath.empty()) {
        FuzzCheck(resolved.FilePath.starts_with(handler.WebRoot()), "files lie in the web root");
        FuzzCheck(!HasDotSegment(resolved.FilePath.substr(handler.WebRoot().size() - 1)),
                  "no dot segments below the web root");
      }
      break;
    case 302:
      FuzzCheck(!resolved.FilePath.starts_with("//") && !resolved.FilePath.starts_with("/\\"),
                "redirects stay on this server");
      break;
    case 404:
      FuzzCheck(resolved.BodyText == "Not found." && resolved.FilePath.empty(), "the 404 text");
      break;
    default:
      FuzzCheck(false, "status 200, 302 or 404");
  }
  return 0;
}
