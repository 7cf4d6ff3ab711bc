#include "tessel/SearchQuery.h"

#include "json/superobject.h"
#include "protocol/DesktopProtocol.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

constexpr char kListSeparator = ';';
constexpr char kQuote = '"';

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string MemberString(const TSuperObject& object, std::u16string_view name) {
  return ToSystemCodePage(object.MemberText(name));
}

// An integer member: its value, the fallback when missing, nothing when it is not a number.
std::optional<int64_t> MemberInteger(const TSuperObject& object, std::u16string_view name,
                                     int64_t fallback) {
  const ISuperObject member = object.Member(name);
  if (!member || member->Kind() == TSuperType::Null) return fallback;
  switch (member->Kind()) {
    case TSuperType::Integer:
    case TSuperType::Double:
    case TSuperType::Currency:
      return member->AsInteger();
    default:
      return std::nullopt;
  }
}

bool MemberFlag(const TSuperObject& object, std::u16string_view name) {
  const ISuperObject member = object.Member(name);
  return member && member->AsBoolean();
}

TSortKey SortKeyOf(std::string_view text) {
  if (text == "name") return TSortKey::Name;
  if (text == "size") return TSortKey::Size;
  if (text == "date") return TSortKey::Date;
  return TSortKey::Path;  // "path", absent or unknown
}

// Sizes and dates come largest and newest first unless asked otherwise; names and paths A to Z.
bool Ascending(const TSuperObject& object, TSortKey sort) {
  const ISuperObject member = object.Member(kSortAscendingMember);
  if (!member || member->Kind() == TSuperType::Null)
    return sort == TSortKey::Path || sort == TSortKey::Name;
  // A sender that passes the parameter on as text is understood too.
  if (member->Kind() == TSuperType::String) {
    const std::u16string& text = member->AsString();
    return text == u"true" || text == u"1";
  }
  return member->AsBoolean();
}

}  // namespace

TParsedMessage ParseMessage(std::string_view payload) {
  TParsedMessage parsed;
  const ISuperObject message = ParseJsonText(FromSystemCodePage(payload));
  if (!message || message->Kind() != TSuperType::Object) return parsed;
  const ISuperObject command = message->Member(kCmdMember);
  if (!command || command->AsInteger() != kSearchCommand) {
    parsed.kind = TParsedMessage::TKind::Other;
    return parsed;
  }
  TSearchQuery& query = parsed.query;
  const auto from = MemberInteger(*message, kQueryFromMember, 0);
  const auto count = MemberInteger(*message, kQueryCountMember, kDefaultQueryCount);
  if (!from || !count || *from < 0 || *count < 0) return parsed;
  query.from = *from;
  query.count = *count;
  query.text = MemberString(*message, kQueryStrMember);
  query.filter = MemberString(*message, kQueryFilterMember);
  query.dirs = SplitList(MemberString(*message, kQueryDirMember));
  query.excludeDirs = SplitList(MemberString(*message, kExcludeDirMember));
  query.anyWord = MemberFlag(*message, kSpaceOrMember);
  query.wholeWords = MemberFlag(*message, kWholeWordsMember);
  query.includeDirs = MemberFlag(*message, kIncludeDirMember);
  query.includeFiles = MemberFlag(*message, kIncludeFilesMember);
  query.caseSensitive = MemberFlag(*message, kCaseSensitiveMember);
  query.sort = SortKeyOf(MemberString(*message, kSortMember));
  query.ascending = Ascending(*message, query.sort);
  parsed.kind = TParsedMessage::TKind::Search;
  return parsed;
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (const char c : text) {
    if (c == kQuote) {
      quoted = !quoted;
    } else if (IsBlank(c) && !quoted) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(kListSeparator, start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view item = text.substr(start, end - start);
    while (!item.empty() && IsBlank(item.front())) item.remove_prefix(1);
    while (!item.empty() && IsBlank(item.back())) item.remove_suffix(1);
    if (!item.empty()) items.emplace_back(item);
    start = end + 1;
  }
  return items;
}

}  // namespace webtessl
