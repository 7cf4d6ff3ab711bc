#pragma once

#include <cstdint>
#include <string>

#include "search/ProcessCommunicator.h"

namespace webtessl::bench {

// The members of one search, as the "/find" handler fills them.
struct TTesselQuery {
  std::string term;
  std::string filter;
  bool caseSensitive = false;
  bool includeDirs = false;
  bool includeFiles = false;
  int32_t pageSize = 25;
  std::string sort;  // "Sort" when not empty ("name", "path", "size", "date")
};

// What came back for one query.
struct TTesselAnswer {
  bool arrived = false;   // an answer came within the time allowed
  double milliseconds = 0;  // from before sending the query to the answer's arrival
  int64_t count = -1;     // its "count" member (-1 when missing)
  size_t results = 0;     // entries in its "results" page
  bool indexing = false;  // it carried "indexing": true
};

// Asks the desktop search application questions through the message layer, as the server's
// search handler does: one JSON query sent to the window titled "AI_Tessel_RPC_Server", the
// answer awaited on the same thread. Uses the desktop of $WEBTESSL_DESKTOP. Belongs to the thread
// that creates it. Not copyable.
class TTesselClient {
 public:
  TTesselClient();
  TTesselClient(const TTesselClient&) = delete;
  TTesselClient& operator=(const TTesselClient&) = delete;

  // Whether the application's window is up.
  bool ServerExists() const;
  // Sends the query and waits at most timeoutMs for its answer.
  TTesselAnswer Ask(const TTesselQuery& query, uint32_t timeoutMs);

 private:
  TCommunicator endpoint_;
  TBytes answer_;
  bool answered_ = false;
};

// The query text the "/find" handler would send for these members.
std::string QueryText(const TTesselQuery& query);

}  // namespace webtessl::bench
