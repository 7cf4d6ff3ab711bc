#include "search/ResultRendering.h"

#include <initializer_list>

#include "common/HtmlEscape.h"
#include "http/UrlText.h"
#include "json/JsonWriter.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

// The fragment's pieces; a member name between two "%" is replaced by that member's text.
constexpr char16_t kSummaryHead[] =
    u"<div id=\"summary\">Total Results: <span>%count%</span>, showing <span>";
constexpr char16_t kSummaryMiddle[] = u"</span>  to <span>";
constexpr char16_t kSummaryTail[] = u"</span></div>";
constexpr char16_t kTableHead[] = u"<table width=100%>";
constexpr char16_t kHeaderRow[] =
    u"<tr><th>Filename</th><th>Directory</th><th>Filesize</th><th>Last Write Time</th></tr>";
constexpr char16_t kRowWithLink[] =
    u"<tr><td><a href=\"%filelink%\" target=\"_blank\">%file%</a></td><td>%dir%</td>"
    u"<td>%sizestr%</td><td>%timestr%</td></tr>";
constexpr char16_t kRowWithoutLink[] =
    u"<tr><td>%file%</td><td>%dir%</td><td>%sizestr%</td><td>%timestr%</td></tr>";
constexpr char16_t kTableEnd[] = u"</table>";
constexpr char16_t kPlaceholderMark[] = u"%";


// '#', '&' and '+' are escaped too: left as they are, a browser would cut the link at a '#' (the
// fragment), the server's query at a '&' (the next parameter), and the query decoder would read a
// '+' as a blank, so a file with any of them in its name could not be downloaded.
bool NeedsUrlEscape(unsigned char byte) {
  return byte <= 0x20 || byte == 0x22 || byte == 0x23 || byte == 0x25 || byte == 0x26 ||
         byte == 0x2B ||
         byte == 0x3C || byte == 0x3E || (byte >= 0x5B && byte <= 0x60) || byte >= 0x7B;
}

std::u16string ToU16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// An object holding, under each of the names, the source member's text escaped for HTML, and
// the download link unchanged: what the templates may insert.
ISuperObject EscapedMembers(const TSuperObject& source,
                            std::initializer_list<std::u16string_view> names) {
  ISuperObject escaped = TSuperObject::NewObject();
  for (const std::u16string_view name : names) {
    escaped->SetMemberText(name, EscapeHtml(source.MemberText(name)));
  }
  escaped->SetMemberText(u"filelink", source.MemberText(u"filelink"));
  return escaped;
}

std::u16string Summary(const TSuperObject& answer, int64_t pageStart, size_t resultCount) {
  std::u16string summary = kSummaryHead;
  summary += ToU16(std::to_string(pageStart + 1)) + kSummaryMiddle +
             ToU16(std::to_string(pageStart + static_cast<int64_t>(resultCount)));
  return EscapedMembers(answer, {u"count"})
             ->FillTemplate(summary, kPlaceholderMark, kPlaceholderMark) +
         kSummaryTail;
}

// The download link of a completed result, from its folder and file name as the file system
// spells them.
std::u16string DownloadLink(const TSuperObject& result) {
  const std::string path = ToSystemCodePage(result.MemberText(u"dir") + result.MemberText(u"file"));
  return FromSystemCodePage(kDownloadLinkPrefix + EncodeUrlChars(path));
}

std::u16string Row(TSuperObject& result, bool downloadEnabled) {
  if (downloadEnabled) result.SetMemberText(u"filelink", DownloadLink(result));
  return EscapedMembers(result, {u"file", u"dir", u"sizestr", u"timestr"})
      ->FillTemplate(downloadEnabled ? kRowWithLink : kRowWithoutLink, kPlaceholderMark,
                     kPlaceholderMark);
}

}  // namespace

std::string RenderHtml(TSuperObject& answer, int64_t pageStart, bool downloadEnabled) {
  const auto results = answer.MemberArray(u"results");
  const size_t count = results ? results->Length() : 0;
  std::u16string html = Summary(answer, pageStart, count) + kTableHead + kHeaderRow;
  TSuperObject noMembers(TSuperType::Null);  // stands in for an element that holds none
  for (size_t index = 0; index < count; ++index) {
    const ISuperObject result = results->ElementAt(index);
    html += Row(result ? *result : noMembers, downloadEnabled);
  }
  html += kTableEnd;
  // The fragment passes through the system code page, so characters it lacks become "?".
  return EncodeUtf8(FromSystemCodePage(ToSystemCodePage(html)));
}

// The escaped form is pure ASCII, which every code page writes as it is: it is written out as
// bytes, without a conversion and without a UTF-16 copy of the whole answer on the way.
std::string RenderJson(const TSuperObject& answer) {
  return EscapedJsonBytes(answer, true);
}

std::string EncodeUrlChars(std::string_view bytes) {
  return PercentEncode(bytes, NeedsUrlEscape);
}

std::u16string EscapeHtml(std::u16string_view text) {
  return EscapeHtmlText(text);
}

}  // namespace webtessl
