#include "text/uEncoding.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "platform/CodePage.h"

namespace webtessl {
namespace {

using Bytes = std::vector<uint8_t>;

// Switches the system code page for one test and back afterwards.
class SystemCodePageScope {
 public:
  explicit SystemCodePageScope(uint32_t codePage) : previous_(SystemCodePage()) {
    SetSystemCodePage(codePage);
  }
  ~SystemCodePageScope() { SetSystemCodePage(previous_); }

 private:
  uint32_t previous_;
};

std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EEncodingError& error) {
    EXPECT_EQ(error.ClassName(), "EEncodingError");
    return error.what();
  }
  return "no error";
}

TEST(MBCSEncodingTest, CodePagesAndTheirSizes) {
  const TMBCSEncoding utf8(kCodePageUtf8);
  EXPECT_FALSE(utf8.IsSingleByte());
  EXPECT_EQ(utf8.MaxCharSize(), 4);
  EXPECT_EQ(utf8.GetMaxByteCount(10), 44);
  EXPECT_EQ(utf8.GetMaxCharCount(10), 10);
  EXPECT_TRUE(utf8.GetPreamble().empty());

  const TMBCSEncoding latin(kCodePageWindows1252, 1, 2);
  EXPECT_TRUE(latin.IsSingleByte());
  EXPECT_EQ(latin.GetMaxByteCount(10), 11);
  EXPECT_EQ(latin.ToWideFlags(), 1u);
  EXPECT_EQ(latin.FromWideFlags(), 2u);

  const TMBCSEncoding system;
  EXPECT_EQ(system.CodePage(), kCodePageSystem);
  EXPECT_EQ(system.MaxCharSize(), 4);

  EXPECT_EQ(MessageOf([] { TMBCSEncoding unknown(12345); }), "Invalid code page");
}

TEST(MBCSEncodingTest, BytesPassThroughUnchanged) {
  const TEncoding& encoding = TEncoding::Default();
  const std::string text = "caf\xC3\xA9 \x80\xFF";
  const Bytes bytes = encoding.GetBytes(text);
  EXPECT_EQ(bytes, Bytes(text.begin(), text.end()));
  EXPECT_EQ(encoding.GetString(bytes), text);
  EXPECT_TRUE(encoding.GetBytes("").empty());
  EXPECT_EQ(encoding.GetString(Bytes{}), "");
}

TEST(MBCSEncodingTest, RangedForms) {
  const TEncoding& encoding = TEncoding::Default();
  EXPECT_EQ(encoding.GetBytes("abcdef", 2, 3), (Bytes{'b', 'c', 'd'}));
  EXPECT_EQ(encoding.GetBytes("abcdef", 7, 0), Bytes{});
  EXPECT_EQ(encoding.GetString(Bytes{'a', 'b', 'c', 'd'}, 1, 2), "bc");
  EXPECT_EQ(encoding.GetString(Bytes{'a', 'b'}, 2, 0), "");

  Bytes destination(5, '.');
  EXPECT_EQ(encoding.GetBytes("abcdef", 4, 3, destination, 1), 3);
  EXPECT_EQ(destination, (Bytes{'.', 'd', 'e', 'f', '.'}));
}

TEST(MBCSEncodingTest, EveryRangeErrorNamesItsNumber) {
  const TEncoding& encoding = TEncoding::Default();
  const Bytes four{'a', 'b', 'c', 'd'};
  Bytes destination(3);
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[&] { encoding.GetBytes("", 1, 1); }, "Invalid source array"},
      {[&] { encoding.GetString(Bytes{}, 0, 2); }, "Invalid source array"},
      {[&] { encoding.GetBytes("abc", 0, 1); }, "Character index out of bounds (0)"},
      {[&] { encoding.GetBytes("abc", -5, 1); }, "Character index out of bounds (-5)"},
      {[&] { encoding.GetBytes("abc", 9, 0); }, "Character index out of bounds (9)"},
      {[&] { encoding.GetBytes("abc", 1, -1); }, "Invalid count (-1)"},
      {[&] { encoding.GetBytes("abc", 2, 3); }, "Invalid count (3)"},
      {[&] { encoding.GetBytes("abc", 1, INT32_MAX); }, "Invalid count (2147483647)"},
      {[&] { encoding.GetString(four, -1, 1); }, "Start index out of bounds (-1)"},
      {[&] { encoding.GetString(four, 5, 0); }, "Start index out of bounds (5)"},
      {[&] { encoding.GetString(four, 3, 2); }, "Invalid count (2)"},
      {[&] { encoding.GetString(four, 0, -2); }, "Invalid count (-2)"},
      {[&] { encoding.GetString(four, 1, INT32_MAX); }, "Invalid count (2147483647)"},
      {[&] { encoding.GetBytes("abc", 1, 1, destination, -1); }, "Invalid destination index (-1)"},
      {[&] { encoding.GetBytes("abc", 1, 1, destination, 4); }, "Invalid destination index (4)"},
      {[&] { encoding.GetBytes("abc", 1, 3, destination, 1); }, "Invalid destination array"},
  };
  for (const auto& [call, message] : cases) EXPECT_EQ(MessageOf(call), message);
  EXPECT_EQ(destination, Bytes(3));  // nothing written by a refused call
}

TEST(EncodingDefaultConcurrencyTest, ManyThreadsGetTheSameInstance) {
  constexpr int kThreads = 16;
  std::vector<const TEncoding*> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&seen, t] {
      const TEncoding& encoding = TEncoding::Default();
      seen[t] = &encoding;
      EXPECT_EQ(encoding.GetString(encoding.GetBytes("shared")), "shared");
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::set<const TEncoding*>(seen.begin(), seen.end()).size(), 1u);
}

TEST(Utf8ConversionTest, DecodeOneToFourByteForms) {
  EXPECT_EQ(DecodeUtf8("\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(DecodeUtf8("a\xE2\x82\xAC"
                       "b"),
            u"a\u20ACb");
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(DecodeUtf8("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(DecodeUtf8(""), u"");
  EXPECT_EQ(DecodeUtf8("\xC0\x81"), u"\u0001");  // overlong forms are not rejected
}

TEST(Utf8ConversionTest, InvalidInputGivesTheEmptyText) {
  for (std::string_view bytes : {"\xC3", "abc\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xC3(",
                                 "ok\xE2\x28\xA1", "\xF4\x90\x80\x80", "\xF7\xBF\xBF\xBF"}) {
    EXPECT_EQ(DecodeUtf8(bytes), u"") << testing::PrintToString(bytes);
  }
}

TEST(Utf8ConversionTest, EncodeWritesSurrogatePairsAsOneSequence) {
  EXPECT_EQ(EncodeUtf8(u"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(EncodeUtf8(u"a\u00E9"), "a\xC3\xA9");
  EXPECT_EQ(EncodeUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(EncodeUtf8(u"\xD83D"), "\xED\xA0\xBD");  // a lone surrogate keeps its three bytes
  EXPECT_EQ(EncodeUtf8(u"\xDE00\xD83D"), "\xED\xB8\x80\xED\xA0\xBD");
  EXPECT_EQ(DecodeUtf8(EncodeUtf8(u"x\U0001F600\u00E9\u4E2D")), u"x\U0001F600\u00E9\u4E2D");
}

TEST(SystemCodePageConversionTest, Utf8SystemCodePage) {
  const SystemCodePageScope scope(kCodePageUtf8);
  EXPECT_EQ(FromSystemCodePage("caf\xC3\xA9"), u"caf\u00E9");
  EXPECT_EQ(ToSystemCodePage(u"\u4E2D\U0001F600"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
}

TEST(SystemCodePageConversionTest, Windows1252LacksCharactersAndGivesQuestionMarks) {
  const SystemCodePageScope scope(kCodePageWindows1252);
  EXPECT_EQ(FromSystemCodePage("caf\xE9 \x80"), u"caf\u00E9 \u20AC");
  EXPECT_EQ(ToSystemCodePage(u"caf\u00E9 \u20AC"), "caf\xE9 \x80");
  EXPECT_EQ(ToSystemCodePage(u"\u4E2D\u0100x"), "??x");
  // The path of a search term: UTF-8 from the browser down to the system code page.
  EXPECT_EQ(ToSystemCodePage(DecodeUtf8("\xC3\xA9t\xC3\xA9")), "\xE9t\xE9");
}

}  // namespace
}  // namespace webtessl
