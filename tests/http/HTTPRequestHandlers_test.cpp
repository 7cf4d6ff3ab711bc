#include "http/HTTPRequestHandlers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace webtessl {
namespace {

// A handler that only names itself and counts the live instances.
class TNamedHandler : public IRequestHandler {
 public:
  TNamedHandler(std::string name, std::vector<std::string>* released)
      : name_(std::move(name)), released_(released) {}
  ~TNamedHandler() override {
    if (released_ != nullptr) released_->push_back(name_);
  }
  bool HandleRequest(std::unique_ptr<THttpRequest>&, std::unique_ptr<THttpRequest>&) override {
    return false;
  }
  std::string GetName() const override { return name_; }

 private:
  std::string name_;
  std::vector<std::string>* released_;
};

TEST(HTTPRequestHandlersTest, KeepsOrderAndReportsBadIndexes) {
  THTTPRequestHandlers handlers;
  handlers.Add(std::make_shared<TNamedHandler>("DownloadHandler", nullptr));
  handlers.Add(std::make_shared<TNamedHandler>("tessel", nullptr));
  handlers.Add(std::make_shared<TNamedHandler>("FileServer", nullptr));
  ASSERT_EQ(handlers.Count(), 3);
  EXPECT_EQ(handlers.Get(0)->GetName(), "DownloadHandler");
  EXPECT_EQ(handlers.Get(1)->GetName(), "tessel");
  EXPECT_EQ(handlers.Get(2)->GetName(), "FileServer");
  for (const int bad : {3, -1}) {
    try {
      handlers.Get(bad);
      ADD_FAILURE() << "no error for index " << bad;
    } catch (const EListError& error) {
      EXPECT_EQ(error.ClassName(), "EListError");
      EXPECT_EQ(error.Message(), "List index out of bounds (" + std::to_string(bad) + ")");
    }
  }
}

// The list holds the last counted references: clearing it ends the handlers in list order, and
// a reference fetched before keeps its handler alive.
TEST(HTTPRequestHandlersTest, ClearReleasesHandlersInOrderButNotFetchedOnes) {
  std::vector<std::string> released;
  THTTPRequestHandlers handlers;
  for (const char* name : {"first", "second", "third"}) {
    handlers.Add(std::make_shared<TNamedHandler>(name, &released));
  }
  IRequestHandlerRef kept = handlers.Get(1);
  handlers.Clear();
  EXPECT_EQ(handlers.Count(), 0);
  EXPECT_EQ(released, (std::vector<std::string>{"first", "third"}));
  kept.reset();
  EXPECT_EQ(released, (std::vector<std::string>{"first", "third", "second"}));
}

TEST(HTTPRequestHandlersConcurrencyTest, FetchesFromManyThreadsWhileOthersAdd) {
  THTTPRequestHandlers handlers;
  handlers.Add(std::make_shared<TNamedHandler>("base", nullptr));
  std::atomic<int> fetched{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&handlers, &fetched] {
      for (int i = 0; i < 2000; ++i) {
        if (handlers.Get(0)->GetName() == "base") ++fetched;
      }
    });
  }
  threads.emplace_back([&handlers] {
    for (int i = 0; i < 500; ++i) handlers.Add(std::make_shared<TNamedHandler>("more", nullptr));
  });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(fetched.load(), 4 * 2000);
  EXPECT_EQ(handlers.Count(), 501);
}

}  // namespace
}  // namespace webtessl
