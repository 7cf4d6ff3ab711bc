#include "tessel/AnswerText.h"

#include "json/superobject.h"
#include "tessel/NativePath.h"
#include "text/uEncoding.h"

namespace webtessl {

std::string AnswerText(const TSearchResult& result, bool indexing) {
  const ISuperObject answer = TSuperObject::NewObject();
  const ISuperObject results = TSuperObject::NewArray();
  size_t pathBytes = 0;
  for (const std::string& path : result.paths) {
    pathBytes += path.size();
    if (pathBytes > kMaxAnswerPathBytes) break;
    const ISuperObject item = TSuperObject::NewObject();
    item->SetMemberText(u"FileName", FromSystemCodePage(ToNativePath(path)));
    results->AsArray()->AppendElement(item);
  }
  answer->SetMember(u"results", results);
  answer->SetMemberInt(u"count", static_cast<int64_t>(result.count));
  if (indexing) answer->SetMemberBool(u"indexing", true);
  return ToSystemCodePage(answer->ToJsonText(false, true));
}

}  // namespace webtessl
