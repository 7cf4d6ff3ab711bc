#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

#include "json/JsonWriter.h"
#include "json/superobject.h"
#include "tests/json/AsciiText.h"

namespace webtessl {
namespace {

using testing_json::Ascii;

std::string Json(const ISuperObject& value, bool indent, bool escape) {
  return Ascii(value->ToJsonText(indent, escape));
}

TEST(JsonWriterTest, EscapedFormLeavesOnlyAsciiLettersAndDigitsPlain) {
  ISuperObject object = TSuperObject::NewObject();
  object->SetMemberText(u"a b", u"x.y");
  EXPECT_EQ(Json(object, false, true), R"({"a\u0020b":"x\u002ey"})");

  const ISuperObject text =
      TSuperObject::NewString(u"\b\t\n\f\r\"\\/Az09 \x01~\x7F\xE9\x100\xFFFF\xD83D\xDE00");
  EXPECT_EQ(Json(text, false, true),
            R"("\b\t\n\f\r\"\\\/Az09\u0020\u0001\u007e\u007f\u00e9\u0100\uffff\ud83d\ude00")");
}

TEST(JsonWriterTest, EscapedTextIsPureAsciiAndReadsBack) {
  std::u16string everything;
  for (char32_t c = 1; c <= 0xFFFF; c += 7) everything += static_cast<char16_t>(c);
  ISuperObject object = TSuperObject::NewObject();
  object->SetMemberText(everything, everything);
  const std::u16string text = object->ToJsonText(true, true);
  for (const char16_t c : text) ASSERT_LT(c, 0x80);
  const ISuperObject back = ParseJsonText(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->MemberText(everything), everything);
}

TEST(JsonWriterTest, AsciiTextOfAnEscapingWriterIsTheEscapedTextAsBytes) {
  ISuperObject object = TSuperObject::NewObject();
  object->SetMemberText(u"dir", u"/home/\xE9t\xE9/\xD83D\xDE00 notes/");
  ISuperObject results = TSuperObject::NewArray();
  for (int i = 0; i < 300; ++i) results->AsArray()->AppendElement(TSuperObject::NewInteger(i));
  object->SetMember(u"results", results);
  TSuperWriter writer(true, true);
  writer.WriteValue(*object);
  EXPECT_EQ(writer.TakeAsciiText(), Json(object, true, true));
  EXPECT_EQ(writer.TakeAsciiText(), "") << "the writer is left empty";
  EXPECT_EQ(EscapedJsonBytes(*object, true), Json(object, true, true));
  EXPECT_EQ(EscapedJsonBytes(*object, false), Json(object, false, true));

  TSuperWriter plain(false, false);
  plain.WriteValue(*object);
  EXPECT_THROW(plain.TakeAsciiText(), std::logic_error) << "unescaped text may be beyond ASCII";
}

// Long texts grow the writer's buffer many times over in both forms.
TEST(JsonWriterTest, ALargeMemberIsWrittenWholeInBothForms) {
  std::u16string text;
  std::string escaped;
  for (int i = 0; i < 50000; ++i) {
    text += u"a\xE9\"";
    escaped += "a\\u00e9\\\"";
  }
  ISuperObject object = TSuperObject::NewObject();
  object->SetMemberText(u"big", text);
  EXPECT_EQ(EscapedJsonBytes(*object, false), "{\"big\":\"" + escaped + "\"}");
  EXPECT_EQ(object->ToJsonText(false, true), testing_json::Wide("{\"big\":\"" + escaped + "\"}"));
  std::u16string plain = text;
  for (size_t at = plain.find(u'"'); at != std::u16string::npos; at = plain.find(u'"', at + 2)) {
    plain.insert(at, 1, u'\\');
  }
  EXPECT_EQ(object->ToJsonText(false, false), u"{\"big\":\"" + plain + u"\"}");
}

TEST(JsonWriterTest, UnescapedFormEscapesOnlyNulQuoteAndBackslash) {
  const ISuperObject text = TSuperObject::NewString(std::u16string(u"a\0\"\\/\n\xE9 b", 9));
  EXPECT_EQ(text->ToJsonText(false, false), std::u16string(u"\"a\\u0000\\\"\\\\/\n\xE9 b\""));
}

TEST(JsonWriterTest, ScalarsHaveTheirTexts) {
  EXPECT_EQ(Json(TSuperObject::NewNull(), false, false), "null");
  EXPECT_EQ(Json(TSuperObject::NewBoolean(true), false, false), "true");
  EXPECT_EQ(Json(TSuperObject::NewBoolean(false), true, true), "false");
  EXPECT_EQ(Json(TSuperObject::NewInteger(-42), false, false), "-42");
  EXPECT_EQ(Json(TSuperObject::NewInteger(std::numeric_limits<int64_t>::min()), false, false),
            "-9223372036854775808");
  EXPECT_EQ(Json(TSuperObject::NewCurrency(15000), false, false), "1.5");
  EXPECT_EQ(Json(TSuperObject::NewDouble(1e3), false, false), "1000");
  EXPECT_EQ(Json(TSuperObject::NewDouble(0.1), false, false), "0.1");
  // No JSON text exists for them; null keeps the output readable.
  EXPECT_EQ(Json(TSuperObject::NewDouble(std::numeric_limits<double>::infinity()), false, false),
            "null");
  EXPECT_EQ(Json(TSuperObject::NewDouble(std::numeric_limits<double>::quiet_NaN()), false, false),
            "null");
}

TEST(JsonWriterTest, EmptyContainersAreWrittenTheSameInBothIndentModes) {
  for (const bool indent : {false, true}) {
    EXPECT_EQ(Json(TSuperObject::NewObject(), indent, true), "{}");
    EXPECT_EQ(Json(TSuperObject::NewArray(), indent, true), "[]");
    ISuperObject holder = TSuperObject::NewObject();
    holder->SetMember(u"o", TSuperObject::NewObject());
    holder->SetMember(u"a", TSuperObject::NewArray());
    EXPECT_EQ(Json(holder, indent, false),
              indent ? "{\r\n \"o\": {},\r\n \"a\": []\r\n}" : R"({"o":{},"a":[]})");
  }
}

TEST(JsonWriterTest, IndentedObjectWithAnArrayTakesFiveLines) {
  ISuperObject object = TSuperObject::NewObject();
  object->SetMemberInt(u"a", 1);
  ISuperObject numbers = TSuperObject::NewArray();
  numbers->AsArray()->AppendElement(TSuperObject::NewInteger(1));
  numbers->AsArray()->AppendElement(TSuperObject::NewInteger(2));
  object->SetMember(u"b", numbers);
  EXPECT_EQ(Json(object, true, false), "{\r\n \"b\": [\r\n  1,2],\r\n \"a\": 1\r\n}");
  EXPECT_EQ(Json(object, false, false), R"({"b":[1,2],"a":1})");
}

TEST(JsonWriterTest, IndentedArrayOfObjectsClosesEachObjectOnItsOwnLine) {
  ISuperObject list = TSuperObject::NewArray();
  for (int i = 1; i <= 2; ++i) {
    ISuperObject item = TSuperObject::NewObject();
    item->SetMemberInt(u"n", i);
    list->AsArray()->AppendElement(item);
  }
  ISuperObject answer = TSuperObject::NewObject();
  answer->SetMember(u"results", list);
  EXPECT_EQ(Json(answer, true, true),
            "{\r\n \"results\": [\r\n  {\r\n   \"n\": 1\r\n  },{\r\n   \"n\": 2\r\n  }]\r\n}");
}

TEST(JsonWriterTest, AbsentMembersAndElementsAreWrittenAsNull) {
  ISuperObject object = TSuperObject::NewObject();
  object->SetMember(u"x", nullptr);
  EXPECT_EQ(Json(object, false, false), R"({"x":null})");
  ISuperObject list = TSuperObject::NewArray();
  list->AsArray()->AppendElement(nullptr);
  list->AsArray()->AppendElement(TSuperObject::NewNull());
  EXPECT_EQ(Json(list, false, false), "[null,null]");
}

TEST(JsonWriterTest, AValueInsideItselfIsSkippedWithoutASeparator) {
  ISuperObject object = TSuperObject::NewObject();
  object->SetMemberInt(u"a", 1);
  object->SetMember(u"b", object);  // "b" comes before "a" in member order
  EXPECT_EQ(Json(object, false, false), R"({"a":1})");

  ISuperObject list = TSuperObject::NewArray();
  list->AsArray()->AppendElement(list);
  list->AsArray()->AppendElement(TSuperObject::NewInteger(7));
  list->AsArray()->AppendElement(list);
  EXPECT_EQ(Json(list, false, false), "[7]");
  // Nested one level down: the inner array holds the outer one.
  ISuperObject inner = TSuperObject::NewArray();
  inner->AsArray()->AppendElement(object);
  object->SetMember(u"c", inner);
  EXPECT_EQ(Json(object, false, false), R"({"c":[],"a":1})");
  EXPECT_EQ(Json(object, false, false), R"({"c":[],"a":1})");  // the marks were cleared

  // Cycles keep their values alive; breaking them lets the values go.
  object->RemoveMember(u"b");
  inner->AsArray()->ElementAt(0)->RemoveMember(u"c");
  *list->AsArray() = TSuperArray();
}

TEST(JsonWriterTest, AllMembersSkippedStillWritesTheBraces) {
  ISuperObject object = TSuperObject::NewObject();
  object->SetMember(u"self", object);
  EXPECT_EQ(Json(object, false, false), "{}");
  EXPECT_EQ(Json(object, true, false), "{\r\n}");
  object->RemoveMember(u"self");
}

TEST(JsonWriterTest, ValueTextIsTheStringItselfOrTheUnescapedJson) {
  EXPECT_EQ(TSuperObject::NewString(u"a \"b\"")->ValueText(), u"a \"b\"");
  EXPECT_EQ(TSuperObject::NewInteger(12)->ValueText(), u"12");
  EXPECT_EQ(TSuperObject::NewBoolean(true)->ValueText(), u"true");
  ISuperObject object = TSuperObject::NewObject();
  object->SetMemberText(u"k", u"v w");
  EXPECT_EQ(object->ValueText(), u"{\"k\":\"v w\"}");
}

}  // namespace
}  // namespace webtessl
