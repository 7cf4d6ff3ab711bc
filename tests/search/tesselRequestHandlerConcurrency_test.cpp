#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "json/superobject.h"
#include "search/tesselRequestHandler.h"
#include "tests/search/PeerProcess.h"
#include "tests/search/SearchServer.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

using testing_search::THttpAnswer;
using testing_search::TSearchServer;

constexpr int kSearches = 64;

// The query the peer received from a search, as its answer reports it back; none when the
// search got no answer.
ISuperObject AskedQuery(const THttpAnswer& answer) {
  if (answer.Status() != 200) return nullptr;
  const ISuperObject body = ParseJsonText(FromSystemCodePage(answer.body));
  return body ? body->Member(u"query") : nullptr;
}

// "term from count" of a query; "" for none.
std::u16string Summary(const ISuperObject& query) {
  if (!query) return u"";
  return query->MemberText(u"QueryStr") + u" " + query->MemberText(u"QueryFrom") + u" " +
         query->MemberText(u"QueryCount");
}

// Every search runs on its own connection and worker at the same time, each with its own
// endpoint; the peer answers each endpoint with the query it received from there.
TEST(TesselRequestHandlerConcurrencyTest, ConcurrentSearchesEachReceiveTheirOwnAnswer) {
  TSearchServer server;
  server.WriteSettings("defaultpagesize=7\r\n");
  testing_peer::TPeerProcess peer({"--embed-query", "1", "--answer",
                                   "{\"results\":[{\"FileName\":\"/nowhere/x\"}],\"count\":1,"
                                   "\"query\":@QUERY@}"});
  ASSERT_TRUE(peer.AwaitReady());
  std::vector<std::u16string> asked(kSearches);
  std::vector<std::thread> clients;
  for (int index = 0; index < kSearches; ++index) {
    clients.emplace_back([&, index] {
      asked[index] = Summary(
          AskedQuery(server.Get("/find?format=json&timeout=30000&term=t" + std::to_string(index) +
                                "&from=" + std::to_string(index * 10))));
    });
  }
  for (auto& client : clients) client.join();
  for (int index = 0; index < kSearches; ++index) {
    EXPECT_EQ(asked[index], FromSystemCodePage("t" + std::to_string(index) + " " +
                                               std::to_string(index * 10) + " 7"));
  }
}

}  // namespace
}  // namespace webtessl
