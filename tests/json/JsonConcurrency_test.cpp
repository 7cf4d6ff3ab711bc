#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "json/superobject.h"

namespace webtessl {
namespace {

// Requests on several threads each parse, complete and write their own documents at once; the
// module keeps no shared state that one of them could disturb.
TEST(JsonDocumentsConcurrencyTest, ThreadsWorkOnTheirOwnDocumentsIndependently) {
  const std::u16string answer =
      u"{count: 3, results: [{FileName: 'C:\\\\a b.txt'}, {FileName: 'x'}, {FileName: 'y'}],"
      u" t: 1.5, d: 2.5e-7, n: null, ok: true}";
  const std::u16string expected = [&] {
    ISuperObject document = ParseJsonText(answer);
    document->MemberArray(u"results")->ElementAt(0)->SetMemberInt(u"size", 1);
    return document->ToJsonText(true, true);
  }();
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  std::vector<int> matches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        ISuperObject document = ParseJsonText(answer);
        if (!document) continue;
        document->MemberArray(u"results")->ElementAt(0)->SetMemberInt(u"size", 1);
        if (document->ToJsonText(true, true) == expected &&
            document->FillTemplate(u"%count%", u"%", u"%") == u"3") {
          ++matches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const int count : matches) EXPECT_EQ(count, kRounds);
}

}  // namespace
}  // namespace webtessl
