#include "search/ProcessCommunicator.h"

#include <algorithm>
#include <cctype>

#include "text/uEncoding.h"

namespace webtessl {
namespace {

// Longest sender title handed to OnData.
constexpr size_t kTitleLimit = 259;

bool IsIdentifier(std::string_view name) {
  const auto wordCharacter = [](unsigned char c) { return std::isalnum(c) || c == '_'; };
  if (name.empty()) return true;  // an empty name leaves the component unnamed
  const auto first = static_cast<unsigned char>(name.front());
  return (std::isalpha(first) || first == '_') &&
         std::all_of(name.begin(), name.end(), [&](char c) { return wordCharacter(c); });
}

}  // namespace

TCommunicator::TCommunicator() {
  handle_ = CreateWindow(kUtilWindowClass, "", [this](uint32_t message, uintptr_t wParam,
                                                      intptr_t lParam) {
    return WndProc(message, wParam, lParam);
  });
  peerClassName_ = GetClassName(handle_);
}

TCommunicator::~TCommunicator() {
  if (handle_ != 0) DestroyWindow(handle_);
}

void TCommunicator::SetName(const std::string& name) {
  if (!IsIdentifier(name)) throw EComponentError("'" + name + "' is not a valid component name");
  name_ = name;
  if (handle_ != 0) SetWindowText(handle_, name_);
}

bool TCommunicator::PeerExists(std::string_view title) const {
  return FindPeer(title) != 0;
}

// The desktop looks only for live windows, so a window found needs no second check.
TWindowHandle TCommunicator::FindPeer(std::string_view title) const {
  return title.empty() ? 0 : FindWindow(peerClassName_, title);
}

bool TCommunicator::SendData(std::string_view title, const void* data, size_t size) {
  return SendDataTo(FindPeer(title), data, size);
}

bool TCommunicator::SendDataTo(TWindowHandle peer, const void* data, size_t size) {
  if (peer == 0 || size > kMaxCopyDataBytes) return false;
  const TCopyDataStruct copyData{kCommunicatorMarker, static_cast<uint32_t>(size), data};
  intptr_t result = 0;
  return SendMessageTimeout(peer, WM_COPYDATA, handle_, copyData, kSendLimitMs, result) &&
         result != 0;
}

bool TCommunicator::SendText(std::string_view title, std::string_view text) {
  return SendTextTo(FindPeer(title), text);
}

bool TCommunicator::SendTextTo(TWindowHandle peer, std::string_view text) {
  const TBytes bytes = TEncoding::Default().GetBytes(text);
  if (bytes.empty()) return SendDataTo(peer, nullptr, 0);
  return SendDataTo(peer, bytes.data(), bytes.size());
}

void TCommunicator::BeginExchange() {
  if (handle_ == 0) return;
  if (const TWindowHandle renewed = RenewWindowHandle(handle_); renewed != 0) handle_ = renewed;
  // Taking the messages without dispatching them drops them; what was sent to a handle given
  // up is answered by the desktop without reaching this window.
  TMessage msg;
  while (PeekMessage(msg, handle_, PM_REMOVE)) {
  }
  arrived_.clear();
}

intptr_t TCommunicator::WndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_COPYDATA:
      return CopyDataArrived(static_cast<TWindowHandle>(wParam),
                             *reinterpret_cast<const TCopyDataStruct*>(lParam));
    case kDataArrivedMessage:
      DeliverArrived(wParam);
      return 0;
    default:
      return 0;  // the default handling of a hidden window: nothing to do
  }
}

// The data is valid only during the sent message, so it is copied now and handed on later,
// after the sender has its acknowledgement.
intptr_t TCommunicator::CopyDataArrived(TWindowHandle from, const TCopyDataStruct& data) {
  if (data.dwData == kCommunicatorMarker) {
    const auto* bytes = static_cast<const uint8_t*>(data.lpData);
    const TArrivedBlock& block = arrived_.emplace_back(TArrivedBlock{
        from, static_cast<int32_t>(data.cbData), TBytes(bytes, bytes + data.cbData)});
    PostMessage(handle_, kDataArrivedMessage, reinterpret_cast<uintptr_t>(&block), 0);
  }
  return 1;
}

void TCommunicator::DeliverArrived(uintptr_t blockAddress) {
  const auto found = std::find_if(arrived_.begin(), arrived_.end(), [&](const TArrivedBlock& block) {
    return reinterpret_cast<uintptr_t>(&block) == blockAddress;
  });
  if (found == arrived_.end()) return;  // not a block of this endpoint
  TArrivedBlock block = std::move(*found);
  arrived_.erase(found);
  if (!OnData) return;
  const std::string title = GetWindowText(block.sender).substr(0, kTitleLimit);
  if (block.size <= 0) block.payload.clear();
  OnData(*this, title, block.payload);
}

}  // namespace webtessl
