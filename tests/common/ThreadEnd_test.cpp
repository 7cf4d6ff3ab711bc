#include "common/ThreadEnd.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

namespace webtessl {
namespace {

TEST(ThreadEndTest, WorkRunsAfterTheBodyNewestFirstEvenWhenTheBodyOrAWorkRaises) {
  std::string order;
  RunThreadBody([&order] {
    EXPECT_TRUE(AtThreadEnd([&order] { order += "1"; }));
    EXPECT_TRUE(AtThreadEnd([] { throw std::runtime_error("lost"); }));
    EXPECT_TRUE(AtThreadEnd([&order] { order += "3"; }));
    order += "body ";
  });
  EXPECT_EQ(order, "body 31");

  order.clear();
  EXPECT_THROW(RunThreadBody([&order] {
                 AtThreadEnd([&order] { order += "ended"; });
                 throw std::runtime_error("body failed");
               }),
               std::runtime_error);
  EXPECT_EQ(order, "ended");
}

TEST(ThreadEndTest, OutsideABodyNothingIsKeptAndEachBodyKeepsItsOwn) {
  bool ran = false;
  EXPECT_FALSE(AtThreadEnd([&ran] { ran = true; }));
  RunThreadBody([] {});
  EXPECT_FALSE(ran);

  std::string order;
  std::thread other([&order] {
    RunThreadBody([&order] {
      AtThreadEnd([&order] { order += "outer"; });
      RunThreadBody([&order] { AtThreadEnd([&order] { order += "inner "; }); });
      EXPECT_EQ(order, "inner ");
    });
    EXPECT_FALSE(AtThreadEnd([] {}));
  });
  other.join();
  EXPECT_EQ(order, "inner outer");
}

}  // namespace
}  // namespace webtessl
