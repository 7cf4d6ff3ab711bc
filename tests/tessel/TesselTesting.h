#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "json/superobject.h"
#include "tests/platform/TestDesktop.h"
#include "tests/support/TempFolder.h"
#include "tests/tessel/QueryClient.h"
#include "text/uEncoding.h"

namespace webtessl::testing_tessel {

// What the server's query holds; the defaults are those of a plain "/find?term=...".
struct TQuery {
  std::string text{};
  std::string filter{};
  std::string dirs{};
  std::string excludeDirs{};
  int64_t from = 0;
  int64_t count = 25;
  bool anyWord = false;
  bool includeDirs = false;
  bool includeFiles = false;
  std::string sort{};  // "Sort" when not empty
  int ascending = -1;  // "SortAscending" when 0 or 1
};

// The query text as the server writes it: escaped JSON, pure ASCII.
inline std::string QueryText(const TQuery& query) {
  const ISuperObject object = ParseJsonText(u"{}");
  object->SetMemberInt(u"cmd", 69633);
  object->SetMemberText(u"ExcludeDir", FromSystemCodePage(query.excludeDirs));
  object->SetMemberText(u"QueryStr", FromSystemCodePage(query.text));
  object->SetMemberText(u"QueryFilter", FromSystemCodePage(query.filter));
  object->SetMemberText(u"QueryDir", FromSystemCodePage(query.dirs));
  object->SetMemberInt(u"QueryFrom", query.from);
  object->SetMemberInt(u"QueryCount", query.count);
  object->SetMemberBool(u"SpaceOr", query.anyWord);
  object->SetMemberBool(u"WholeWords", false);
  object->SetMemberBool(u"IncludeDir", query.includeDirs);
  object->SetMemberBool(u"IncludeFiles", query.includeFiles);
  object->SetMemberBool(u"CaseSensitive", false);
  if (!query.sort.empty()) object->SetMemberText(u"Sort", FromSystemCodePage(query.sort));
  if (query.ascending >= 0) object->SetMemberBool(u"SortAscending", query.ascending == 1);
  return ToSystemCodePage(object->ToJsonText(false, true));
}

// An answer as the test reads it.
struct TAnswer {
  bool arrived = false;
  std::vector<std::string> files;
  std::vector<int64_t> sizes;  // beside files
  std::vector<int64_t> times;  // beside files: seconds since 1970
  int64_t count = -1;
  bool indexing = false;
  bool cut = false;
};

inline TAnswer ReadAnswer(const std::optional<std::string>& text) {
  TAnswer answer;
  if (!text) return answer;
  answer.arrived = true;
  const ISuperObject object = ParseJsonText(FromSystemCodePage(*text));
  if (!object) return answer;
  if (const auto results = object->MemberArray(u"results")) {
    for (const ISuperObject& result : results->Elements()) {
      answer.files.push_back(ToSystemCodePage(result->MemberText(u"FileName")));
      const ISuperObject size = result->Member(u"size");
      const ISuperObject time = result->Member(u"time");
      answer.sizes.push_back(size ? size->AsInteger() : -1);
      answer.times.push_back(time ? time->AsInteger() : -1);
    }
  }
  if (const ISuperObject count = object->Member(u"count")) answer.count = count->AsInteger();
  answer.indexing = object->Member(u"indexing") != nullptr;
  answer.cut = object->Member(u"cut") != nullptr;
  return answer;
}

inline TAnswer Search(const TQuery& query) {
  return ReadAnswer(Ask(QueryText(query)));
}

// A private desktop, a folder tree to index and tessel's settings naming it as the root.
class TTesselScene {
 public:
  TTesselScene() {
    ::setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
    std::filesystem::create_directories(config_.Path() / "Tessel");
    WriteSettings("roots=" + Root());
  }
  ~TTesselScene() { ::unsetenv("XDG_CONFIG_HOME"); }
  TTesselScene(const TTesselScene&) = delete;
  TTesselScene& operator=(const TTesselScene&) = delete;

  std::string Root() const { return tree_.Path().string(); }
  // XDG_CONFIG_HOME while the scene lives: tessel's settings folder "Tessel" is in it.
  std::string ConfigFolder() const { return config_.Path().string(); }
  const std::string& Desktop() const { return desktop_.Folder(); }
  std::string Path(const std::string& relative) const { return Root() + "/" + relative; }

  // Creates a file (and the folders on its way) under the root; returns its full path.
  std::string AddFile(const std::string& relative) const {
    const std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "x";
    return path.string();
  }

  void WriteSettings(const std::string& lines) const {
    std::ofstream(config_.Path() / "Tessel" / "tessel.ini") << "[index]\n" << lines << "\n";
  }

 private:
  testing_desktop::TTestDesktop desktop_;
  testing_support::TempFolder config_;
  testing_support::TempFolder tree_;
};

}  // namespace webtessl::testing_tessel
