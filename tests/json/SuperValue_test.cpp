#include "json/SuperValue.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "json/superobject.h"
#include "tests/json/AsciiText.h"

namespace webtessl {
namespace {

using testing_json::Ascii;

TEST(SuperValueTest, TheQueryObjectIsWrittenInHashOrderAsPureAscii) {
  ISuperObject query = ParseJsonText(u"{}");
  ASSERT_TRUE(query);
  query->SetMemberInt(u"cmd", 69633);
  query->SetMemberText(u"ExcludeDir", u"");
  query->SetMemberText(u"QueryStr", u"r\xE9sum\xE9 2009");
  query->SetMemberText(u"QueryFilter", u"*.txt");
  query->SetMemberText(u"QueryDir", u"C:\\data;D:\\docs");
  query->SetMemberInt(u"QueryFrom", 0);
  query->SetMemberInt(u"QueryCount", 25);
  query->SetMemberBool(u"SpaceOr", false);
  query->SetMemberBool(u"WholeWords", true);
  query->SetMemberBool(u"IncludeDir", false);
  query->SetMemberBool(u"IncludeFiles", false);
  query->SetMemberBool(u"CaseSensitive", false);
  EXPECT_EQ(Ascii(query->ToJsonText(false, true)),
            R"({"cmd":69633,"SpaceOr":false,"QueryFrom":0,"QueryCount":25,"ExcludeDir":"",)"
            R"("CaseSensitive":false,"IncludeFiles":false,"QueryStr":"r\u00e9sum\u00e9\u00202009",)"
            R"("QueryDir":"C\u003a\\data\u003bD\u003a\\docs","IncludeDir":false,)"
            R"("QueryFilter":"\u002a\u002etxt","WholeWords":true})");
}

TEST(SuperValueTest, ACompletedResultIsWrittenInHashOrder) {
  ISuperObject result = ParseJsonText(u"{\"FileName\":\"C:\\\\a.txt\",\"rank\":3}");
  ASSERT_TRUE(result);
  result->RemoveMember(u"FileName");
  result->SetMemberText(u"file", u"a.txt");
  result->SetMemberText(u"dir", u"C:\\");
  result->SetMemberInt(u"size", 5);
  result->SetMemberText(u"sizestr", u"0 KB");
  result->SetMemberText(u"timestr", u"2009-03-07 14:05:09");
  result->SetMemberInt(u"time", 1236434709);
  result->SetMemberText(u"filelink", u"/download?file=C:%5Ca.txt");
  EXPECT_EQ(
      Ascii(result->ToJsonText(false, false)),
      R"({"dir":"C:\\","filelink":"/download?file=C:%5Ca.txt","timestr":"2009-03-07 14:05:09",)"
      R"("sizestr":"0 KB","time":1236434709,"size":5,"rank":3,"file":"a.txt"})");
}

TEST(SuperValueTest, MemberTextGivesStringsUnescapedAndOtherKindsAsJson) {
  const ISuperObject object =
      ParseJsonText(u"{s:'a \"q\"', i:-3, b:true, n:null, c:2.50, d:1e-7, a:[1,'x'], o:{}}");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->MemberText(u"s"), u"a \"q\"");
  EXPECT_EQ(object->MemberText(u"i"), u"-3");
  EXPECT_EQ(object->MemberText(u"b"), u"true");
  EXPECT_EQ(object->MemberText(u"n"), u"null");
  EXPECT_EQ(object->MemberText(u"c"), u"2.5");
  EXPECT_EQ(object->MemberText(u"d"), u"1E-7");
  EXPECT_EQ(object->MemberText(u"a"), u"[1,\"x\"]");
  EXPECT_EQ(object->MemberText(u"o"), u"{}");
  EXPECT_EQ(object->MemberText(u"missing"), u"");
  EXPECT_EQ(object->MemberText(u"S"), u"");  // names match case-sensitively
}

TEST(SuperValueTest, MemberArrayGivesOnlyArraysAndKeepsThemAlive) {
  ISuperObject object = ParseJsonText(u"{\"results\":[1,2,3],\"count\":3}");
  ASSERT_TRUE(object);
  EXPECT_FALSE(object->MemberArray(u"count"));
  EXPECT_FALSE(object->MemberArray(u"missing"));
  const std::shared_ptr<TSuperArray> results = object->MemberArray(u"results");
  ASSERT_TRUE(results);
  object->RemoveMember(u"results");
  object.reset();
  ASSERT_EQ(results->Length(), 3u);
  EXPECT_EQ(results->ElementAt(2)->AsInteger(), 3);
  EXPECT_FALSE(results->ElementAt(3));
}

TEST(SuperValueTest, RemoveMemberTakesOutOnlyAPresentName) {
  ISuperObject object = ParseJsonText(u"{a:1,b:2}");
  object->RemoveMember(u"c");
  EXPECT_EQ(object->AsObject()->Count(), 2u);
  object->RemoveMember(u"a");
  EXPECT_EQ(Ascii(object->ToJsonText(false, false)), R"({"b":2})");
  object->RemoveMember(u"a");
  EXPECT_EQ(object->AsObject()->Count(), 1u);
}

TEST(SuperValueTest, MemberOperationsOnOtherKindsChangeNothingAndGiveNone) {
  for (const ISuperObject& value : {TSuperObject::NewString(u"s"), TSuperObject::NewArray(),
                                    TSuperObject::NewNull(), TSuperObject::NewInteger(1)}) {
    const std::u16string before = value->ToJsonText(false, false);
    value->SetMemberInt(u"a", 1);
    value->SetMemberText(u"b", u"x");
    value->SetMemberBool(u"c", true);
    value->RemoveMember(u"a");
    EXPECT_EQ(value->ToJsonText(false, false), before);
    EXPECT_EQ(value->MemberText(u"a"), u"");
    EXPECT_FALSE(value->MemberArray(u"a"));
    EXPECT_FALSE(value->Member(u"b"));
    EXPECT_EQ(value->AsObject(), nullptr);
  }
}

TEST(SuperValueTest, ValuesAreFreedWithTheirLastReference) {
  std::weak_ptr<TSuperObject> watched;
  {
    ISuperObject holder = TSuperObject::NewObject();
    ISuperObject list = TSuperObject::NewArray();
    ISuperObject item = TSuperObject::NewString(u"x");
    watched = item;
    list->AsArray()->AppendElement(item);
    holder->SetMember(u"list", list);
    item.reset();
    list.reset();
    EXPECT_FALSE(watched.expired());   // still held through the member and the array
    holder->SetMemberInt(u"list", 0);  // replacing the member drops the array and its element
    EXPECT_TRUE(watched.expired());
  }
}

TEST(SuperValueTest, NumbersAndBooleansConvertAmongThemselves) {
  EXPECT_EQ(TSuperObject::NewCurrency(-15000)->AsInteger(), -1);
  EXPECT_EQ(TSuperObject::NewDouble(1e30)->AsInteger(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TSuperObject::NewDouble(-2.7)->AsInteger(), -2);
  EXPECT_EQ(TSuperObject::NewDouble(2.71828)->AsCurrency(), 27183);
  EXPECT_EQ(TSuperObject::NewInteger(std::numeric_limits<int64_t>::max())->AsCurrency(),
            std::numeric_limits<int64_t>::max());
  EXPECT_FALSE(TSuperObject::NewString(u"true")->AsBoolean());
  EXPECT_EQ(TSuperObject::NewString(u"5")->AsInteger(), 0);
  EXPECT_EQ(TSuperObject::NewInteger(5)->AsString(), u"");
}

TEST(FillTemplateTest, ReplacesMarkedNamesByMemberTexts) {
  const ISuperObject object = ParseJsonText(u"{count:12, file:'a<b>.txt', ok:true}");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->FillTemplate(u"Total: <span>%count%</span>", u"%", u"%"),
            u"Total: <span>12</span>");
  EXPECT_EQ(object->FillTemplate(u"%file%|%ok%|%count%", u"%", u"%"), u"a<b>.txt|true|12");
  EXPECT_EQ(object->FillTemplate(u"no marks", u"%", u"%"), u"no marks");
  EXPECT_EQ(object->FillTemplate(u"", u"%", u"%"), u"");
  EXPECT_EQ(object->FillTemplate(u"<{count}>", u"{", u"}"), u"<12>");
}

TEST(FillTemplateTest, MissingNamesAndEmptyNamesGiveNothing) {
  const ISuperObject object = ParseJsonText(u"{count:12}");
  EXPECT_EQ(object->FillTemplate(u"[%nothing%]", u"%", u"%"), u"[]");
  EXPECT_EQ(object->FillTemplate(u"100%%", u"%", u"%"), u"100");
  EXPECT_EQ(TSuperObject::NewString(u"s")->FillTemplate(u"a%count%b", u"%", u"%"), u"ab");
}

TEST(FillTemplateTest, AnUnclosedMarkDropsTheRestOfTheTemplate) {
  const ISuperObject object = ParseJsonText(u"{count:12}");
  EXPECT_EQ(object->FillTemplate(u"<table width=100%>", u"%", u"%"), u"<table width=100");
  EXPECT_EQ(object->FillTemplate(u"%count% of 50%", u"%", u"%"), u"12 of 50");
  EXPECT_EQ(object->FillTemplate(u"%count", u"%", u"%"), u"");
}

}  // namespace
}  // namespace webtessl
