#include "tessel/AnswerText.h"

#include "json/superobject.h"
#include "tessel/NativePath.h"
#include "text/uEncoding.h"

namespace webtessl {

std::string AnswerText(const TSearchResult& result, bool indexing) {
  const ISuperObject answer = TSuperObject::NewObject();
  const ISuperObject results = TSuperObject::NewArray();
  size_t pathBytes = 0;
  for (size_t i = 0; i < result.paths.size(); ++i) {
    const std::string& path = result.paths[i];
    pathBytes += path.size();
    if (pathBytes > kMaxAnswerPathBytes) break;
    const ISuperObject item = TSuperObject::NewObject();
    item->SetMemberText(u"FileName", FromSystemCodePage(ToNativePath(path)));
    if (i < result.facts.size()) {
      // Unsigned sizes beyond the signed range do not occur on real file systems.
      item->SetMemberInt(u"size", static_cast<int64_t>(result.facts[i].size));
      item->SetMemberInt(u"time", result.facts[i].modified);
    }
    results->AsArray()->AppendElement(item);
  }
  answer->SetMember(u"results", results);
  answer->SetMemberInt(u"count", static_cast<int64_t>(result.count));
  if (indexing) answer->SetMemberBool(u"indexing", true);
  if (result.cut) answer->SetMemberBool(u"cut", true);
  return ToSystemCodePage(answer->ToJsonText(false, true));
}

}  // namespace webtessl
