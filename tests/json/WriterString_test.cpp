#include "json/WriterString.h"

#include <gtest/gtest.h>

#include <string>

namespace webtessl {
namespace {

// A text long enough to cross many chunk boundaries in every way of writing.
TEST(WriterStringTest, KeepsEverythingInOrderAcrossChunks) {
  TSuperWriterString buffer;
  std::u16string expected;
  for (int i = 0; i < 20000; ++i) {
    const char16_t c = static_cast<char16_t>(u'a' + i % 26);
    switch (i % 4) {
      case 0:
        buffer.Put(c);
        expected += c;
        break;
      case 1: {
        const std::u16string piece(static_cast<size_t>(i % 97), c);
        buffer.Put(piece);
        expected += piece;
        break;
      }
      case 2:
        buffer.PutAscii("\\u00e9");
        expected += u"\\u00e9";
        break;
      default:
        buffer.PutRepeated(static_cast<size_t>(i % 13), u' ');
        expected.append(static_cast<size_t>(i % 13), u' ');
    }
  }
  std::u16string text = u"kept:";
  buffer.MoveTo(text);
  EXPECT_EQ(text, u"kept:" + expected);
}

TEST(WriterStringTest, MoveToEmptiesTheBufferForTheNextText) {
  TSuperWriterString buffer;
  buffer.Put(std::u16string(100000, u'x'));
  std::u16string first;
  buffer.MoveTo(first);
  EXPECT_EQ(first.size(), 100000u);
  buffer.Put(u"next");
  std::u16string second;
  buffer.MoveTo(second);
  EXPECT_EQ(second, u"next");
  std::u16string empty;
  buffer.MoveTo(empty);
  EXPECT_EQ(empty, u"");
}

TEST(WriterStringTest, MoveAsciiToGivesTheSameTextAsBytesAndEmptiesTheBuffer) {
  TSuperWriterString buffer;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string piece(static_cast<size_t>(i % 11), static_cast<char>('a' + i % 26));
    buffer.PutAscii(piece);
    buffer.Put(u'\\');
    expected += piece + '\\';
  }
  std::string text = "kept:";
  buffer.MoveAsciiTo(text);
  EXPECT_EQ(text, "kept:" + expected);
  buffer.PutAscii("next");
  std::string second;
  buffer.MoveAsciiTo(second);
  EXPECT_EQ(second, "next");
}

TEST(WriterStringTest, WidensBytesWithoutSignExtension) {
  TSuperWriterString buffer;
  buffer.PutAscii(std::string("A\x7F\x80\xFF", 4));
  std::u16string text;
  buffer.MoveTo(text);
  EXPECT_EQ(text, u"A\x7F\x80\xFF");
}

// A buffer that keeps bytes gives the same text either way, and hands its bytes over whole.
TEST(WriterStringTest, AnAsciiBufferKeepsBytesAndGivesThemOverWithoutACopy) {
  TSuperWriterString buffer(TSuperWriterString::TCharacters::Ascii);
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    buffer.Put(u'{');
    buffer.Put(u"abc");
    buffer.PutAscii("\\u00e9");
    buffer.PutRepeated(static_cast<size_t>(i % 5), u' ');
    expected += "{abc\\u00e9" + std::string(static_cast<size_t>(i % 5), ' ');
  }
  std::string bytes;
  buffer.MoveAsciiTo(bytes);
  EXPECT_EQ(bytes, expected);
  const char* storage = nullptr;
  buffer.PutAscii("next");
  std::string taken;
  buffer.MoveAsciiTo(taken);
  storage = taken.data();
  EXPECT_EQ(taken, "next");
  std::string kept = "kept:";
  buffer.PutAscii("more");
  buffer.MoveAsciiTo(kept);
  EXPECT_EQ(kept, "kept:more") << "a target with text gets the bytes appended";
  EXPECT_NE(kept.data(), storage);

  buffer.PutAscii("wide");
  std::u16string wide = u">";
  buffer.MoveTo(wide);
  EXPECT_EQ(wide, u">wide");
  std::string empty;
  buffer.MoveAsciiTo(empty);
  EXPECT_EQ(empty, "") << "MoveTo left the buffer empty";
}

}  // namespace
}  // namespace webtessl
