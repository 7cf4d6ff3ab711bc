#pragma once

// Module ProcessCommunicator: the window-message endpoint.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"
#include "platform/DesktopMessages.h"
#include "protocol/DesktopProtocol.h"

namespace webtessl {

using TBytes = std::vector<uint8_t>;

// A component was given a name that is not an identifier.
class EComponentError : public Exception {
 public:
  explicit EComponentError(const std::string& message) : Exception("EComponentError", message) {}
};

class TCommunicator;

// Data arrived: the receiving endpoint, the title of the window that sent it (empty when that
// window is gone) and the bytes (empty when none came).
using TOnData = std::function<void(TCommunicator& sender, const std::string& from, const TBytes& buf)>;

// The posted message that hands arrived data to OnData.
constexpr uint32_t kDataArrivedMessage = WM_USER + 5;

// An endpoint around a hidden window that exchanges byte messages with endpoints in other
// processes on the same desktop. Not copyable. It belongs to the thread that created it: create,
// name, send and destroy it there; its messages are handled, and OnData called, only while that
// thread pumps them (PeekMessage and DispatchMessage on Handle()). Endpoints on different threads
// are independent. One endpoint may serve many exchanges one after the other: BeginExchange
// before each keeps answers to an earlier one out of it.
class TCommunicator final {
 public:
  // Creates the hidden window (its title empty) on the calling thread.
  TCommunicator();
  // Destroys the window; data not yet dispatched is dropped.
  virtual ~TCommunicator();
  TCommunicator(const TCommunicator&) = delete;
  TCommunicator& operator=(const TCommunicator&) = delete;

  // The hidden window (0 when the desktop was unusable); BeginExchange may change it.
  TWindowHandle Handle() const { return handle_; }
  // The class name of the hidden window as the desktop reports it.
  const std::string& PeerClassName() const { return peerClassName_; }
  const std::string& Name() const { return name_; }

  // Renames the endpoint and titles its window so; raises EComponentError for a non-identifier.
  virtual void SetName(const std::string& name);
  // Whether a window of PeerClassName with exactly this title exists.
  bool PeerExists(std::string_view title) const;
  // The window of PeerClassName with exactly this title, or 0.
  TWindowHandle FindPeer(std::string_view title) const;
  // Sends the bytes to the window of PeerClassName with that title; true when it acknowledged
  // them with a nonzero result within kSendLimitMs.
  virtual bool SendData(std::string_view title, const void* data, size_t size);
  // Sends the text's bytes (system code page, through the Default encoding) like SendData.
  virtual bool SendText(std::string_view title, std::string_view text);
  // SendText to a window found before with FindPeer; false when it is gone.
  bool SendTextTo(TWindowHandle peer, std::string_view text);
  // Starts a new exchange: the window takes a fresh handle (RenewWindowHandle), under which
  // what is sent from now on goes out, so that a late answer to something sent before never
  // arrives; whatever arrived before and was not yet handed to OnData is dropped.
  void BeginExchange();
  // The window procedure of the hidden window.
  intptr_t WndProc(uint32_t message, uintptr_t wParam, intptr_t lParam);

  TOnData OnData;

 private:
  intptr_t CopyDataArrived(TWindowHandle from, const TCopyDataStruct& data);
  bool SendDataTo(TWindowHandle peer, const void* data, size_t size);
  void DeliverArrived(uintptr_t block);

  // What arrived in one message, kept from its WM_COPYDATA until its posted kDataArrivedMessage
  // (whose wParam is the block's address) is dispatched.
  struct TArrivedBlock {
    TWindowHandle sender = 0;
    int32_t size = 0;
    TBytes payload;
  };

  TWindowHandle handle_ = 0;
  std::string peerClassName_;
  std::string name_;
  // Blocks posted but not yet dispatched; freed with the endpoint at the latest.
  std::list<TArrivedBlock> arrived_;
};

}  // namespace webtessl
