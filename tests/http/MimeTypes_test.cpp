#include "http/MimeTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace webtessl {
namespace {

TEST(MimeTypeOfTest, DefaultTableMatchesWithoutCase) {
  EXPECT_EQ(MimeTypeOf(".HTML"), "text/html");
  EXPECT_EQ(MimeTypeOf(".htm"), "text/html");
  EXPECT_EQ(MimeTypeOf(".Png"), "image/png");
  EXPECT_EQ(MimeTypeOf(".txt"), "text/plain");
  EXPECT_EQ(MimeTypeOf(".css"), "");
  EXPECT_EQ(MimeTypeOf(".js"), "");
  EXPECT_EQ(MimeTypeOf("html"), "");
  EXPECT_EQ(MimeTypeOf(""), "");
  EXPECT_EQ(MimeTypeOf(".h"), "");
}

TEST(RegisterMimeTypeTest, AddsDotsAndOverwritesWithoutCase) {
  RegisterMimeType("svgz", "image/svg+xml");
  EXPECT_EQ(MimeTypeOf(".SVGZ"), "image/svg+xml");
  RegisterMimeType(".GIF", "image/x-gif");
  EXPECT_EQ(MimeTypeOf(".gif"), "image/x-gif");
  RegisterMimeType(".gif", "image/gif");
  RegisterMimeType("", "text/nothing");
  EXPECT_EQ(MimeTypeOf(""), "");
  EXPECT_EQ(MimeTypeOf("."), "");
}

// Many threads make the first lookups together while another registers: the table is built once
// and every lookup sees either the old or the new type, never a torn table.
TEST(MimeTypesConcurrencyTest, FirstLookupsFromManyThreads) {
  constexpr int kThreads = 8;
  constexpr int kLookups = 2000;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < kLookups; ++i) {
        if (MimeTypeOf(".html") != "text/html") ++failures[t];
        const std::string added = MimeTypeOf(".wasm");
        if (!added.empty() && added != "application/wasm") ++failures[t];
      }
    });
  }
  threads.emplace_back([] {
    for (int i = 0; i < kLookups; ++i) RegisterMimeType("wasm", "application/wasm");
  });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << t;
  EXPECT_EQ(MimeTypeOf(".WASM"), "application/wasm");
}

}  // namespace
}  // namespace webtessl
