#pragma once

#include <memory>

namespace webtessl {

class TIniFile;
class THTTPServer;

// Builds the HTTP server with its request handlers and takes it down again: Start registers the
// handlers (in the order download, search, file), sets the port from the configuration and
// activates the server; Stop deactivates it, ends every connection and only then releases the
// handlers. Main thread only. The configuration reader must outlive the assembly.
class TServerAssembly final {
 public:
  explicit TServerAssembly(const TIniFile& iniFile);
  ~TServerAssembly();
  TServerAssembly(const TServerAssembly&) = delete;
  TServerAssembly& operator=(const TServerAssembly&) = delete;

  // The start sequence; raises what activation raises. Main thread.
  void Start();
  // The stop sequence; does nothing when the server is not running. Main thread.
  void Stop();
  // Whether the server exists (started and not yet stopped). Main thread.
  bool Running() const;

 private:
  const TIniFile& iniFile_;
  std::unique_ptr<THTTPServer> server_;
};

}  // namespace webtessl
