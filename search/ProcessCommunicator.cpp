#include "search/ProcessCommunicator.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "text/uEncoding.h"

namespace webtessl {
namespace {

// Layout of the data-arrived block: sender's window at 0, payload size at 4, payload from 8 and
// one spare byte at the end.
constexpr size_t kBlockSenderOffset = 0;
constexpr size_t kBlockSizeOffset = 4;
constexpr size_t kBlockPayloadOffset = 8;
constexpr size_t kBlockOverhead = 9;
// Longest sender title handed to OnData.
constexpr size_t kTitleLimit = 259;

bool IsIdentifier(std::string_view name) {
  const auto wordCharacter = [](unsigned char c) { return std::isalnum(c) || c == '_'; };
  if (name.empty()) return true;  // an empty name leaves the component unnamed
  const auto first = static_cast<unsigned char>(name.front());
  return (std::isalpha(first) || first == '_') &&
         std::all_of(name.begin(), name.end(), [&](char c) { return wordCharacter(c); });
}

TBytes MakeBlock(TWindowHandle from, const TCopyDataStruct& data) {
  TBytes block(data.cbData + kBlockOverhead, 0);
  const int32_t size = static_cast<int32_t>(data.cbData);
  std::memcpy(block.data() + kBlockSenderOffset, &from, sizeof from);
  std::memcpy(block.data() + kBlockSizeOffset, &size, sizeof size);
  if (data.cbData > 0) std::memcpy(block.data() + kBlockPayloadOffset, data.lpData, data.cbData);
  return block;
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
  const TWindowHandle peer = FindWindow(peerClassName_, title);
  return peer != 0 && IsWindow(peer);
}

bool TCommunicator::SendData(std::string_view title, const void* data, size_t size) {
  if (title.empty() || size > kMaxCopyDataBytes) return false;
  const TWindowHandle peer = FindWindow(peerClassName_, title);
  if (peer == 0 || !IsWindow(peer)) return false;
  const TCopyDataStruct copyData{kCommunicatorMarker, static_cast<uint32_t>(size), data};
  intptr_t result = 0;
  return SendMessageTimeout(peer, WM_COPYDATA, handle_, copyData, kSendLimitMs, result) &&
         result != 0;
}

bool TCommunicator::SendText(std::string_view title, std::string_view text) {
  const TBytes bytes = TEncoding::Default().GetBytes(text);
  if (bytes.empty()) return SendData(title, nullptr, 0);
  return SendData(title, bytes.data(), bytes.size());
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
    const TBytes& block = arrived_.emplace_back(MakeBlock(from, data));
    PostMessage(handle_, kDataArrivedMessage, reinterpret_cast<uintptr_t>(block.data()), 0);
  }
  return 1;
}

void TCommunicator::DeliverArrived(uintptr_t block) {
  const auto found = std::find_if(arrived_.begin(), arrived_.end(), [&](const TBytes& each) {
    return reinterpret_cast<uintptr_t>(each.data()) == block;
  });
  if (found == arrived_.end()) return;  // not a block of this endpoint
  const TBytes taken = std::move(*found);
  arrived_.erase(found);
  if (!OnData) return;
  TWindowHandle from = 0;
  int32_t size = 0;
  std::memcpy(&from, taken.data() + kBlockSenderOffset, sizeof from);
  std::memcpy(&size, taken.data() + kBlockSizeOffset, sizeof size);
  const std::string title = GetWindowText(from).substr(0, kTitleLimit);
  const TBytes buf = size > 0 ? TBytes(taken.begin() + kBlockPayloadOffset,
                                       taken.begin() + kBlockPayloadOffset + size)
                              : TBytes();
  OnData(*this, title, buf);
}

}  // namespace webtessl
