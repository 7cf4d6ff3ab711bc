#include "bench/tessel/TesselClient.h"

#include <unistd.h>

#include <chrono>

#include "json/superobject.h"
#include "protocol/DesktopProtocol.h"
#include "text/uEncoding.h"

namespace webtessl::bench {
namespace {

using Clock = std::chrono::steady_clock;


// Reads the members the benchmark checks from the answer's text.
void ReadAnswer(const TBytes& bytes, TTesselAnswer& answer) {
  const std::string text(bytes.begin(), bytes.end());
  const ISuperObject parsed = ParseJsonText(FromSystemCodePage(text));
  if (!parsed || parsed->Kind() != TSuperType::Object) return;
  if (const ISuperObject count = parsed->Member(u"count")) answer.count = count->AsInteger();
  if (const auto results = parsed->MemberArray(u"results")) answer.results = results->Length();
  if (const ISuperObject indexing = parsed->Member(u"indexing")) answer.indexing = indexing->AsBoolean();
}

}  // namespace

std::string QueryText(const TTesselQuery& query) {
  const ISuperObject object = ParseJsonText(u"{}");
  object->SetMemberInt(kCmdMember, kSearchCommand);
  object->SetMemberText(kExcludeDirMember, u"");
  object->SetMemberText(kQueryStrMember, FromSystemCodePage(query.term));
  object->SetMemberText(kQueryFilterMember, FromSystemCodePage(query.filter));
  object->SetMemberText(kQueryDirMember, u"");
  object->SetMemberInt(kQueryFromMember, 0);
  object->SetMemberInt(kQueryCountMember, query.pageSize);
  object->SetMemberBool(kSpaceOrMember, false);
  object->SetMemberBool(kWholeWordsMember, false);
  object->SetMemberBool(kIncludeDirMember, query.includeDirs);
  object->SetMemberBool(kIncludeFilesMember, query.includeFiles);
  object->SetMemberBool(kCaseSensitiveMember, query.caseSensitive);
  if (!query.sort.empty()) object->SetMemberText(kSortMember, FromSystemCodePage(query.sort));
  return ToSystemCodePage(object->ToJsonText(false, true));
}

TTesselClient::TTesselClient() {
  endpoint_.SetName("TesselBench" + std::to_string(::getpid()));
  endpoint_.OnData = [this](TCommunicator&, const std::string&, const TBytes& buf) {
    answer_ = buf;
    answered_ = true;
  };
}

bool TTesselClient::ServerExists() const { return endpoint_.PeerExists(kSearchWindowTitle); }

TTesselAnswer TTesselClient::Ask(const TTesselQuery& query, uint32_t timeoutMs) {
  const std::string text = QueryText(query);
  TTesselAnswer answer;
  answered_ = false;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeoutMs);
  if (!endpoint_.SendText(kSearchWindowTitle, text)) return answer;
  while (!answered_ && Clock::now() < deadline) {
    TMessage message;
    while (!answered_ && PeekMessage(message, endpoint_.Handle(), PM_REMOVE)) DispatchMessage(message);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (!answered_ && left.count() > 0) {
      WaitMessageTimeout(endpoint_.Handle(), static_cast<uint32_t>(left.count()));
    }
  }
  if (!answered_) return answer;
  answer.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  answer.arrived = true;
  ReadAnswer(answer_, answer);
  return answer;
}

}  // namespace webtessl::bench
