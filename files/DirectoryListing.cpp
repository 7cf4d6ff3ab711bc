#include "files/DirectoryListing.h"

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/DateTimeValue.h"
#include "files/HtmlText.h"
#include "files/SizeText.h"
#include "http/HttpDates.h"
#include "platform/FileSystem.h"

namespace webtessl {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kPageStart = "<html><head>";
constexpr std::string_view kStyleLines[] = {
    "<style type=\"text/css\">",
    "img { border: 0; padding: 0 2px; vertical-align: text-bottom; }",
    "td  { font-family: monospace; padding: 2px 3px; text-align: right; vertical-align: bottom; "
    "white-space: pre; }",
    "td:first-child { text-align: left; padding: 2px 10px 2px 3px; }",
    "table { border: 0; }",
    "a.symlink { font-style: italic; }",
    "</style>"};
constexpr const char* kHeadEnd = "</head><body>";
constexpr const char* kRootUri = "/";
constexpr const char* kUpLink = "<a href=\"..\">Up to higher level directory</a><br>";
constexpr const char* kBreak = "<br>";
constexpr const char* kTableStart = "<table>";
constexpr const char* kTableEnd = "</table>";
constexpr const char* kPageEnd = "</body></html>";
constexpr const char* kNonBreakingSpace = "&nbsp;";

// The user's locale for dates, taken once; the classic one when the environment names none
// that the system has. The process's global locale stays untouched.
const std::locale& UserLocale() {
  static const std::locale locale = [] {
    try {
      return std::locale("");
    } catch (const std::runtime_error&) {
      return std::locale::classic();
    }
  }();
  return locale;
}

// Last-write time as local time at two-second resolution, in the user's short date and long
// time format; the time is left out at exactly midnight. Blanks become non-breaking spaces.
std::string DateText(const TFileTime& modified) {
  const std::optional<TDateTimeParts> parts =
      DecodeDateTime(UtcToLocal(UnixTimeToDateTime(modified.seconds, 0)));
  if (!parts) return {};
  std::tm fields{};
  fields.tm_year = parts->year - 1900;
  fields.tm_mon = parts->month - 1;
  fields.tm_mday = parts->day;
  fields.tm_wday = parts->dayOfWeek;
  fields.tm_hour = parts->hour;
  fields.tm_min = parts->minute;
  fields.tm_sec = parts->second & ~1;
  std::ostringstream text;
  text.imbue(UserLocale());
  text << std::put_time(&fields, "%x");
  if (fields.tm_hour != 0 || fields.tm_min != 0 || fields.tm_sec != 0) {
    text << ' ' << std::put_time(&fields, "%X");
  }
  std::string result;
  for (const char c : text.str()) {
    if (c == ' ') {
      result += kNonBreakingSpace;
    } else {
      result += c;
    }
  }
  return result;
}

std::string AsciiLowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

// Orders names by the user's collation, without regard to ASCII case; the names themselves
// break ties so the order is total.
bool NameBefore(const std::string& left, const std::string& right) {
  static const auto& collate = std::use_facet<std::collate<char>>(UserLocale());
  const std::string leftKey = AsciiLowerCase(left);
  const std::string rightKey = AsciiLowerCase(right);
  const int order = collate.compare(leftKey.data(), leftKey.data() + leftKey.size(),
                                    rightKey.data(), rightKey.data() + rightKey.size());
  return order != 0 ? order < 0 : left < right;
}

std::string FolderRow(const TDirectoryEntry& entry) {
  return "<tr><td><a href=\"" + EscapeHtml(EncodeUrlPath(entry.name)) + "/\">" +
         EscapeHtml(entry.name) + "</a><td>(DIR)<td></tr>";
}

std::string FileRow(const TDirectoryEntry& entry) {
  return "<tr><td><a href=\"" + EscapeHtml(EncodeUrlPath(entry.name)) + "\">" +
         EscapeHtml(entry.name) + "</a><td>" + SizeToText(entry.facts.size) + "<td>" +
         DateText(entry.facts.modified) + "</tr>";
}

void AppendLine(std::string& page, std::string_view line) {
  page += line;
  page += kLineEnd;
}

// The style block is a single line of the page, its rules separated by CR LF.
std::string StyleLine() {
  std::string style;
  for (const std::string_view line : kStyleLines) {
    if (!style.empty()) style += kLineEnd;
    style += line;
  }
  return style;
}

// The folder's entries split into sub-folders and the rest, each group sorted by name.
struct TListingEntries {
  std::vector<TDirectoryEntry> folders;
  std::vector<TDirectoryEntry> files;
};

TListingEntries SortedEntries(std::string_view folder) {
  TListingEntries entries;
  for (TDirectoryEntry& entry : ListDirectory(folder)) {
    auto& group = entry.facts.kind == TFileKind::Directory ? entries.folders : entries.files;
    group.push_back(std::move(entry));
  }
  const auto byName = [](const TDirectoryEntry& left, const TDirectoryEntry& right) {
    return NameBefore(left.name, right.name);
  };
  std::sort(entries.folders.begin(), entries.folders.end(), byName);
  std::sort(entries.files.begin(), entries.files.end(), byName);
  return entries;
}

}  // namespace

std::string DirectoryListingPage(std::string_view rawUri, std::string_view folder) {
  const TListingEntries entries = SortedEntries(folder);
  std::string page;
  AppendLine(page, kPageStart);
  AppendLine(page, StyleLine());
  AppendLine(page, kHeadEnd);
  AppendLine(page, "Listing of " + EscapeHtml(rawUri) + "<br><hr>");
  if (rawUri != kRootUri) AppendLine(page, kUpLink);
  AppendLine(page, kBreak);
  AppendLine(page, kTableStart);
  for (const TDirectoryEntry& entry : entries.folders) AppendLine(page, FolderRow(entry));
  for (const TDirectoryEntry& entry : entries.files) AppendLine(page, FileRow(entry));
  AppendLine(page, kTableEnd);
  AppendLine(page, kPageEnd);
  return page;
}

}  // namespace webtessl
