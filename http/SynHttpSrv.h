#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/HttpRanges.h"
#include "http/HttpRequest.h"
#include "net/SynSrv.h"

namespace webtessl {

class TTCPBlockSocket;
class TSynHttpServer;

// Fired for every parsed request; may change or replace both messages (an empty response
// variable means that nothing is sent).
using TSynOnHttpGet =
    std::function<void(TSynHttpServer& sender, std::unique_ptr<THttpRequest>& request,
                       std::unique_ptr<THttpRequest>& response)>;
// Fired for a request with an "Expect" header; may change whether the request continues.
using TSynOnHttpExpect =
    std::function<void(TSynHttpServer& sender, THttpRequest& request, bool& bnContinue)>;

// The HTTP/1.0 and HTTP/1.1 engine over the threaded TCP server: every line a connection receives
// is the request line of one exchange, whose headers and body it reads, whose response DoRequest
// fills and which it then writes back, honouring keep-alive, 100-continue, byte ranges and
// conditional headers. Every exchange runs on its connection's worker, many at once; the server
// object, its events and anything DoRequest uses must not change while it is active.
class TSynHttpServer : public TSynTcpServer {
 public:
  // The largest request line or header line; a longer one ends the connection without an answer.
  static constexpr int32_t kMaxLineLength = 65536;
  // The largest request body that is read; a longer one is answered with 413 and a close.
  static constexpr int64_t kMaxRequestBody = 16 * 1024 * 1024;

  // Sets port "80" and takes the line hook of the TCP server for the engine.
  TSynHttpServer();
  // Ends every connection (waiting for its worker) before the events go.
  ~TSynHttpServer() override;

  // Starts or stops listening, writing the start or stop line and "Done." around it. Main thread.
  void SetActive(bool value) override;

  // Called with every parsed request before DoRequest's own work; set before activation.
  TSynOnHttpGet OnHttpGet;
  // Called for requests that carry "Expect"; set before activation.
  TSynOnHttpExpect OnExpect;

  // Reads header lines into the list until the empty line; false when the socket fails. A
  // timeout of 0 means the default. Runs on a connection worker.
  static bool ReadHeaders(TTCPBlockSocket& socket, THeaderList& headers, int32_t timeoutMs);

 protected:
  // One exchange for one request line. Runs on the connection's worker.
  void HandleCommand(TSynTcpSrvConnection& connection, const std::string& requestLine);
  // Reads the rest of the request and presets the response; false when the exchange was given up.
  virtual bool ReadRequest(TSynTcpSrvConnection& connection, std::unique_ptr<THttpRequest>& request,
                           const std::string& requestLine, std::unique_ptr<THttpRequest>& response);
  // Fills the response: fires OnHttpGet. Runs on connection workers concurrently.
  virtual void DoRequest(std::unique_ptr<THttpRequest>& request,
                         std::unique_ptr<THttpRequest>& response);
  // Writes the response by the conditional, range and connection rules.
  virtual void SendResponse(TSynTcpSrvConnection& connection,
                            std::unique_ptr<THttpRequest>& request,
                            std::unique_ptr<THttpRequest>& response);
};

}  // namespace webtessl
