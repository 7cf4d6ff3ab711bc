#pragma once

#include <atomic>
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
  // The most header lines (continuations included) and header bytes (line ends included) of one
  // request; more are answered with 431 and a close.
  static constexpr int kMaxHeaderLines = 100;
  static constexpr int64_t kMaxHeaderBytes = 64 * 1024;
  // Defaults of the engine: the whole request head (line and headers) must arrive within
  // kDefaultHeadTimeout from its first byte; a send that gets nothing out for kDefaultSendTimeout
  // ends the connection.
  static constexpr int32_t kDefaultHeadTimeout = 30000;
  static constexpr int32_t kDefaultSendTimeout = 60000;

  // How reading the header lines ended.
  enum class THeadRead {
    Complete,   // up to the empty line
    Failed,     // the socket failed: time-out, close, reset
    Malformed,  // a line that is no header line, or a control byte in one
    TooLarge,   // beyond kMaxHeaderLines, kMaxHeaderBytes or the line length limit
  };

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

  // Reads header lines into the list until the empty line, within the limits above. A timeout
  // of 0 means the default. Runs on a connection worker.
  static THeadRead ReadHeaders(TTCPBlockSocket& socket, THeaderList& headers, int32_t timeoutMs);

 protected:
  // One exchange for one request line. Runs on the connection's worker.
  void HandleCommand(TSynTcpSrvConnection& connection, const std::string& requestLine);
  // Reads the rest of the request and presets the response; false when the exchange was given up.
  virtual bool ReadRequest(TSynTcpSrvConnection& connection, std::unique_ptr<THttpRequest>& request,
                           const std::string& requestLine, std::unique_ptr<THttpRequest>& response);
  // Fills the response: fires OnHttpGet. Runs on connection workers concurrently.
  virtual void DoRequest(std::unique_ptr<THttpRequest>& request,
                         std::unique_ptr<THttpRequest>& response);
  // Called on the listener thread when a connection limit refused a connection: says so on the
  // console, once per limit and activation.
  void ConnectionRefused(TConnectionLimit limit, const std::string& peer) override;
  // Answers a request that cannot be served with the status and no body, and closes.
  void AnswerAndClose(TSynTcpSrvConnection& connection, std::unique_ptr<THttpRequest>& request,
                      std::unique_ptr<THttpRequest>& response, int32_t status);
  // Writes the response by the conditional, range and connection rules.
  virtual void SendResponse(TSynTcpSrvConnection& connection,
                            std::unique_ptr<THttpRequest>& request,
                            std::unique_ptr<THttpRequest>& response);

 private:
  std::atomic<bool> totalLimitSaid_{false};
  std::atomic<bool> addressLimitSaid_{false};
};

}  // namespace webtessl
