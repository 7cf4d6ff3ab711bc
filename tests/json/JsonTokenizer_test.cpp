#include "json/JsonTokenizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "json/superobject.h"
#include "tests/json/AsciiText.h"

namespace webtessl {
namespace {

using testing_json::Ascii;
using testing_json::Wide;

ISuperObject Parse(std::string_view text) {
  return ParseJsonText(Wide(text));
}

// The unescaped compact text of a parse, or "none".
std::string Reparsed(std::string_view text) {
  const ISuperObject value = Parse(text);
  return value ? Ascii(value->ToJsonText(false, false)) : "none";
}

TEST(JsonTokenizerTest, NumberKindsFollowThePointAndTheDecimals) {
  const ISuperObject integer = Parse("7");
  ASSERT_TRUE(integer);
  EXPECT_EQ(integer->Kind(), TSuperType::Integer);
  EXPECT_EQ(integer->AsInteger(), 7);

  const ISuperObject currency = Parse("1.5");
  ASSERT_TRUE(currency);
  EXPECT_EQ(currency->Kind(), TSuperType::Currency);
  EXPECT_EQ(currency->AsCurrency(), 15000);
  EXPECT_EQ(Ascii(currency->ToJsonText(false, false)), "1.5");

  const ISuperObject fourDecimals = Parse("-12.3456");
  EXPECT_EQ(fourDecimals->Kind(), TSuperType::Currency);
  EXPECT_EQ(fourDecimals->AsCurrency(), -123456);

  const ISuperObject fiveDecimals = Parse("1.50000");
  EXPECT_EQ(fiveDecimals->Kind(), TSuperType::Double);
  EXPECT_EQ(fiveDecimals->AsDouble(), 1.5);

  const ISuperObject exponent = Parse("1e3");
  EXPECT_EQ(exponent->Kind(), TSuperType::Double);
  EXPECT_EQ(Ascii(exponent->ToJsonText(false, false)), "1000");

  EXPECT_EQ(Parse("1.")->AsCurrency(), 10000);
  EXPECT_EQ(Parse("-.5")->AsCurrency(), -5000);
  EXPECT_EQ(Parse("2.5E-3")->AsDouble(), 0.0025);
  EXPECT_EQ(Parse("1e+2")->AsDouble(), 100.0);
}

TEST(JsonTokenizerTest, NumbersBeyondTheirKindBecomeDoubles) {
  EXPECT_EQ(Parse("-9223372036854775808")->AsInteger(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Parse("9223372036854775807")->Kind(), TSuperType::Integer);
  const ISuperObject big = Parse("9223372036854775808");
  EXPECT_EQ(big->Kind(), TSuperType::Double);
  EXPECT_EQ(big->AsDouble(), 9223372036854775808.0);
  EXPECT_EQ(Parse("922337203685477.5807")->Kind(), TSuperType::Currency);
  EXPECT_EQ(Parse("922337203685477.5808")->Kind(), TSuperType::Double);
  EXPECT_EQ(Parse("1e400")->AsDouble(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Parse("-1e400")->AsDouble(), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(Parse("1e-400")->AsDouble(), 0.0);
  EXPECT_EQ(Parse("0.000000000000000000000000000000000000000000000000000000000000000000000000"
                  "000000000000000000000000000000000000000000000000000000000000000000000000"
                  "000000000000000000000000000000000000000000000000000000000000000000000000"
                  "000000000000000000000000000000000000000000000000000000000000000000000000"
                  "000000000000000000000000000000000000000000000000000000000000000000000001")
                ->AsDouble(),
            0.0);
}

TEST(JsonTokenizerTest, MalformedNumbersGiveNone) {
  for (const char* text : {"-", "1-2", "1e", "1.2.3", "--1", "1+", "[1e,2]", "-.", "1.5e"}) {
    EXPECT_EQ(Reparsed(text), "none") << text;
  }
}

TEST(JsonTokenizerTest, LiteralsAreLowercaseWordsNotFollowedByAWordCharacter) {
  EXPECT_EQ(Parse("null")->Kind(), TSuperType::Null);
  EXPECT_EQ(Parse("true")->AsBoolean(), true);
  EXPECT_EQ(Parse("false")->Kind(), TSuperType::Boolean);
  EXPECT_EQ(Reparsed("[true,false,null]"), "[true,false,null]");
  // Capitalised, or continued by a letter, "_" or ".": a bare word, that is a string.
  EXPECT_EQ(Reparsed("True"), R"("True")");
  EXPECT_EQ(Reparsed("[Null,FALSE]"), R"(["Null","FALSE"])");
  EXPECT_EQ(Reparsed("[truex,null_1,false.]"), R"(["truex","null_1","false."])");
  EXPECT_EQ(Reparsed("[tru]"), R"(["tru"])");
  // Any other follower ends the literal; in an array it must then be a separator.
  EXPECT_EQ(Reparsed("true1"), "true");
  EXPECT_EQ(Reparsed("[true1]"), "none");
}

TEST(JsonTokenizerTest, BareWordsRunToTheirContainersSeparatorAndLoseTrailingLineSpace) {
  EXPECT_EQ(Reparsed("hello world, and more \r\n "), R"("hello world, and more")");
  EXPECT_EQ(Reparsed("[a b , c d\t]"), "[\"a b\",\"c d\t\"]");
  EXPECT_EQ(Reparsed("{k: some text }"), R"({"k":"some text"})");
  EXPECT_EQ(Reparsed("{k: a]b, j: c}"), R"({"k":"a]b","j":"c"})");
  EXPECT_EQ(Reparsed("[a}b]"), R"(["a}b"])");
  EXPECT_EQ(Reparsed("[@, #]"), R"(["@","#"])");
  EXPECT_EQ(Reparsed("{k:}"), R"({"k":""})");
  EXPECT_EQ(Reparsed("[,]"), R"([""])");
  EXPECT_EQ(Reparsed("[abc"), "none");  // the text ends inside the word
}

TEST(JsonTokenizerTest, EmptyTextParsesToTheEmptyString) {
  for (const char* text : {"", "   ", " // only a comment", "/* c */ \r\n"}) {
    const ISuperObject value = Parse(text);
    ASSERT_TRUE(value) << text;
    EXPECT_EQ(value->Kind(), TSuperType::String);
    EXPECT_EQ(value->AsString(), u"");
  }
}

TEST(JsonTokenizerTest, CommentsAndWhitespaceAreSkippedBetweenTokens) {
  EXPECT_EQ(Reparsed("/*a*/{/*b*/\"k\"/*c*/:/*d*/1/*e*/,//f\n\"j\"\b:\f2\t}"), R"({"k":1,"j":2})");
  EXPECT_EQ(Reparsed("[1 /* a ** b */ , 2]"), "[1,2]");
  EXPECT_EQ(Reparsed("/x"), "none");
  EXPECT_EQ(Reparsed("[1,/"), "none");
  EXPECT_EQ(Reparsed("[1 /* never closed"), "none");
  EXPECT_EQ(Reparsed("/* never closed"), "none");
  EXPECT_EQ(Reparsed("\v1"), "\"\v1\"");  // vertical tab is not whitespace: a bare word
}

TEST(JsonTokenizerTest, StringsTakeEitherQuoteAndEveryCharacterUpToIt) {
  EXPECT_EQ(Parse("'it\"s'")->AsString(), u"it\"s");
  EXPECT_EQ(Parse("\"it's\"")->AsString(), u"it's");
  EXPECT_EQ(Parse("\"a\x01\tb\n\"")->AsString(), u"a\x01\tb\n");
  EXPECT_EQ(Parse("\"\"")->AsString(), u"");
  EXPECT_EQ(Reparsed("\"open"), "none");
  EXPECT_EQ(Reparsed("'open\\'"), "none");
}

TEST(JsonTokenizerTest, EscapesGiveTheirCharacters) {
  EXPECT_EQ(Parse(R"("\b\f\n\r\t\"\\\/\'\q")")->AsString(), u"\b\f\n\r\t\"\\/'q");
  EXPECT_EQ(Parse(R"("\u00e9\u4E2D\x41\x7e")")->AsString(),
            u"\xE9\x4E2D"
            u"A~");
  EXPECT_EQ(Parse(R"("\ud83d\ude00")")->AsString(), u"\U0001F600");
  EXPECT_EQ(Parse(R"("\u0000x")")->AsString(), std::u16string(u"\0x", 2));
  for (const char* text : {R"("\u12G4")", R"("\xZ1")", R"("\u12")", R"("\x4")", R"("\)"}) {
    EXPECT_EQ(Reparsed(text), "none") << text;
  }
}

TEST(JsonTokenizerTest, TrailingCommasAreAccepted) {
  EXPECT_EQ(Parse("[1,]")->AsArray()->Length(), 1u);
  EXPECT_EQ(Reparsed("{\"a\":1,}"), R"({"a":1})");
  EXPECT_EQ(Reparsed("[1,2 , ]"), "[1,2]");
  EXPECT_EQ(Reparsed("[1 2]"), "none");
  EXPECT_EQ(Reparsed("{\"a\":1 \"b\":2}"), "none");
}

TEST(JsonTokenizerTest, MemberNamesMayBeQuotedOrBare) {
  EXPECT_EQ(Reparsed("{'single':1}"), R"({"single":1})");
  EXPECT_EQ(Reparsed("{bare name :1}"), R"({"bare name ":1})");
  EXPECT_EQ(Reparsed(R"({a\:b\x41:1})"), R"({"a:bA":1})");
  EXPECT_EQ(Reparsed("{a,b:1}"), R"({"a,b":1})");
  for (const char* text : {"{(a:1}", "{.a:1}", "{,a:1}", "{]:1}", "{:1}", "{\"a\" 1}", "{a}"}) {
    EXPECT_EQ(Reparsed(text), "none") << text;
  }
}

TEST(JsonTokenizerTest, ARepeatedNameKeepsTheLastValue) {
  const ISuperObject object = Parse("{\"a\":1,\"a\":[2]}");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->AsObject()->Count(), 1u);
  EXPECT_EQ(Ascii(object->ToJsonText(false, false)), R"({"a":[2]})");
}

TEST(JsonTokenizerTest, ParsingStopsAfterTheFirstValue) {
  EXPECT_EQ(Reparsed("{} trailing ]] garbage"), "{}");
  EXPECT_EQ(Reparsed("[1] [2]"), "[1]");
  EXPECT_EQ(Reparsed("12abc"), "12");
  EXPECT_EQ(Reparsed("'a' 'b'"), R"("a")");
  // The text ends at its first NUL.
  EXPECT_EQ(Ascii(ParseJsonText(std::u16string(u"[1]\0[", 5))->ToJsonText(false, false)), "[1]");
  EXPECT_FALSE(ParseJsonText(std::u16string(u"[1\0]", 4)));
}

TEST(JsonTokenizerTest, TextEndingInsideAValueGivesNone) {
  for (const char* text : {"[", "[1", "[1,", "{", "{\"a\"", "{\"a\":", "{\"a\":1", "{\"a\":1,",
                           "{a", "\"x", "[\"x\\", "{\"a\":[1,{\"b\":2}"}) {
    EXPECT_EQ(Reparsed(text), "none") << text;
  }
}

// The innermost value text wrapped in the given number of arrays and objects, so that it lies at
// that level.
std::string Nested(int wrappers, std::string_view innermost) {
  std::string text;
  for (int i = 0; i < wrappers; ++i) text += i % 2 == 0 ? "[" : "{\"k\":";
  text += innermost;
  for (int i = wrappers - 1; i >= 0; --i) text += i % 2 == 0 ? "]" : "}";
  return text;
}

TEST(JsonTokenizerTest, ValuesLieAtMostThirtyOneLevelsDeep) {
  EXPECT_TRUE(Parse(Nested(31, "1")));
  EXPECT_TRUE(Parse(Nested(31, "[]")));  // a container at level 31 may only be empty
  EXPECT_TRUE(Parse(Nested(31, "{}")));
  EXPECT_FALSE(Parse(Nested(31, "[1]")));
  EXPECT_FALSE(Parse(Nested(31, "{\"k\":1}")));
  EXPECT_FALSE(Parse(Nested(32, "1")));
  EXPECT_FALSE(Parse(Nested(32, "[]")));
}

TEST(JsonTokenizerTest, DeepNestingNeitherOverflowsTheStackNorParses) {
  const std::string deepArrays(1000000, '[');
  EXPECT_FALSE(Parse(deepArrays));
  std::string deepObjects;
  for (int i = 0; i < 200000; ++i) deepObjects += "{a:";
  EXPECT_FALSE(Parse(deepObjects));
}

TEST(JsonTokenizerTest, ANestedAnswerParsesAndKeepsUnknownMembers) {
  const ISuperObject answer = Parse(
      "{\"count\": 2, \"results\": [{\"FileName\": \"C:\\\\dir\\\\a b.txt\", \"rank\": 1.25},"
      " {\"FileName\": 'x'}], \"extra\": {\"deep\": [true, null]}}");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->MemberText(u"count"), u"2");
  const auto results = answer->MemberArray(u"results");
  ASSERT_TRUE(results);
  ASSERT_EQ(results->Length(), 2u);
  EXPECT_EQ(results->ElementAt(0)->MemberText(u"FileName"), u"C:\\dir\\a b.txt");
  EXPECT_EQ(results->ElementAt(0)->MemberText(u"rank"), u"1.25");
  EXPECT_EQ(results->ElementAt(1)->MemberText(u"FileName"), u"x");
  EXPECT_EQ(answer->MemberText(u"extra"), u"{\"deep\":[true,null]}");
}

}  // namespace
}  // namespace webtessl
