#include "net/TcpServer.h"

#include <chrono>
#include <exception>
#include <utility>

namespace webtessl {

namespace {

constexpr std::string_view kAllLocalAddresses = "0.0.0.0";
constexpr const char* kMissingPortMessage = "Missing server Port";
// Pause after a failed accept, so that a lasting failure (no descriptors left) does not spin.
constexpr auto kAcceptRetryPause = std::chrono::milliseconds(50);

}  // namespace

// ---- TSynTcpSrvConnection ----

TSynTcpSrvConnection::TSynTcpSrvConnection(TSynTcpServer& server)
    : server_(server),
      onCommand_(server.OnCommand()),
      lineTimeout_(server.LineTimeout()),
      headTimeout_(server.HeadTimeout()),
      sendTimeout_(server.SendTimeout()),
      noDelay_(server.NoDelay()),
      maxLineLength_(server.MaxLineLength()) {}

TSynTcpSrvConnection::~TSynTcpSrvConnection() {
  Disconnect();
  TMutexLock lock(lock_);
  while (workerBusy_) {
    lock.Wait(workerLeft_);
  }
  socket_.reset();
}

// The worker is the only thread that takes the socket away, and only as it finishes, so the
// reference stays good while it serves.
TTCPBlockSocket& TSynTcpSrvConnection::Socket() {
  const TMutexLock lock(lock_);
  return *socket_;
}

bool TSynTcpSrvConnection::Attach(TSocket handle, const TSocketAddress& peerAddress) {
  TTCPBlockSocket* socket = nullptr;
  {
    const TMutexLock lock(lock_);
    if (!socket_) {
      socket_ = std::make_unique<TTCPBlockSocket>();
    }
    socket = socket_.get();  // no worker serves yet, so nothing takes it away
  }
  if (noDelay_) {
    socket->SetNoDelay(true);  // queued, applied as the handle is adopted
  }
  if (sendTimeout_ > 0) {
    socket->SetSendTimeout(sendTimeout_);
  }
  socket->SetMaxLineLength(maxLineLength_);
  socket->AdoptHandle(handle);
  socket->SetPeerAddress(peerAddress);
  connected_.store(true);
  return true;
}

void TSynTcpSrvConnection::Start() {
  {
    const TMutexLock lock(lock_);
    workerBusy_ = true;
  }
  try {
    server_.RunInWorker([this](TSynThread&) { RunConnection(); });
  } catch (...) {
    MarkWorkerDone();
    throw;
  }
}

void TSynTcpSrvConnection::RunConnection() {
  threadId_.store(std::this_thread::get_id());
  std::exception_ptr failure;
  try {
    Serve();
  } catch (...) {
    failure = std::current_exception();
  }
  FinishOnWorker();  // this object may be gone from here on
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void TSynTcpSrvConnection::Serve() {
  if (const TSynTcpConnectionHandler& execute = server_.OnConnectionExecute()) {
    execute(*this);
    return;
  }
  if (!onCommand_) {
    return;
  }
  if (const TSynTcpConnectionHandler& invite = server_.OnSendInvite()) {
    invite(*this);
  }
  TTCPBlockSocket& socket = Socket();
  while (connected_.load()) {
    socket.ArmReadDeadlineOnData(headTimeout_);
    const std::string line = socket.ReceiveLine(lineTimeout_);
    if (line.empty() && socket.LastErrorCode() != kSocketNoError) {
      break;
    }
    if (!onCommand_) {
      break;
    }
    onCommand_(*this, line);
  }
}

// Closes the socket, then destroys the connection unless the server has already taken it out
// of its list to destroy it; in that case it only tells the waiting server that it is done.
void TSynTcpSrvConnection::FinishOnWorker() {
  std::unique_ptr<TTCPBlockSocket> closing;
  {
    const TMutexLock lock(lock_);
    closing = std::move(socket_);
  }
  closing.reset();
  threadId_.store(std::thread::id());
  connected_.store(false);
  std::unique_ptr<TSynTcpSrvConnection> self = server_.TakeConnection(this);
  MarkWorkerDone();  // without self, the last touch of this object
  self.reset();
}

void TSynTcpSrvConnection::MarkWorkerDone() {
  const TMutexLock lock(lock_);
  workerBusy_ = false;
  workerLeft_.notify_all();  // under the lock, so the waiter cannot destroy us before it returns
}

void TSynTcpSrvConnection::Disconnect() {
  connected_.store(false);
  if (threadId_.load() != std::this_thread::get_id()) {
    const TMutexLock lock(lock_);
    if (socket_) {
      socket_->Abort();
    }
  }
}

// ---- TSynTcpServer ----

TSynTcpServer::TSynTcpServer()
    : connectionClass_(
          [](TSynTcpServer& server) { return std::make_unique<TSynTcpSrvConnection>(server); }) {}

TSynTcpServer::~TSynTcpServer() {
  Shutdown();
}

void TSynTcpServer::Shutdown() {
  SetActive(false);
  while (std::unique_ptr<TSynTcpSrvConnection> connection = TakeAnyConnection()) {
    connection.reset();
  }
  pool_.SetSpareThreads(0);
}

void TSynTcpServer::SetActive(bool value) {
  if (value == active_.load()) {
    return;
  }
  if (value) {
    if (port_.empty()) {
      throw ESynapseError(kMissingPortMessage, 0, std::string());
    }
    active_.store(true);
    SetListenerState(false, 0);
    listenerThread_ = std::make_unique<TSynThread>([this](TSynThread&) { AcceptLoop(); });
    try {
      listenerThread_->Start();
    } catch (...) {
      active_.store(false);
      listenerThread_.reset();
      throw;
    }
    int32_t error = kSocketNoError;
    {
        TMutexLock lock(listenerLock_);
      while (!listenerReady_) {
        lock.Wait(listenerReadyChanged_);
      }
      error = listenError_;
    }
    if (error != kSocketNoError) {
      StopListener();
      throw SocketFailure(error, SocketErrorText(error));
    }
  } else {
    StopListener();
  }
}

void TSynTcpServer::StopListener() {
  active_.store(false);
  listenerThread_.reset();  // marks it terminated and waits for it
  SetListenerState(false, 0);
}

void TSynTcpServer::SetPort(std::string_view port) {
  SetActive(false);
  port_ = port;
}

void TSynTcpServer::SetLocalAddress(std::string_view address) {
  SetActive(false);
  localAddress_ = address;
}

std::size_t TSynTcpServer::ConnectionCount() const {
  const TMutexLock lock(connectionsLock_);
  return connections_.size();
}

std::unique_ptr<TTCPBlockSocket> TSynTcpServer::CreateListenSocket() {
  auto socket = std::make_unique<TTCPBlockSocket>();
  socket->SetRaiseOnError(false);
  socket->CreateHandle();
  return socket;
}

void TSynTcpServer::SetListenerState(bool ready, uint16_t port, int32_t error) {
  const TMutexLock lock(listenerLock_);
  listenerReady_ = ready;
  listeningPort_ = port;
  listenError_ = error;
  listenerReadyChanged_.notify_all();
}

uint16_t TSynTcpServer::ListeningPort() const {
  const TMutexLock lock(listenerLock_);
  return listeningPort_;
}

// Binds and listens; nullptr, with the socket error, when the port cannot be bound or listened
// on (listening unbound would take a random port).
std::unique_ptr<TTCPBlockSocket> TSynTcpServer::OpenListenSocket(int32_t& error) {
  std::unique_ptr<TTCPBlockSocket> listenSocket = CreateListenSocket();
  listenSocket->SetLingerOption(true, kListenLingerMs);
  listenSocket->Bind(localAddress_.empty() ? kAllLocalAddresses : std::string_view(localAddress_),
                     port_);
  if (listenSocket->LastErrorCode() == kSocketNoError) {
    listenSocket->Listen();
  }
  error = listenSocket->LastErrorCode();
  if (error != kSocketNoError) {
    return nullptr;
  }
  return listenSocket;
}

void TSynTcpServer::AcceptLoop() {
  std::unique_ptr<TTCPBlockSocket> listenSocket;
  int32_t error = kSocketNoError;
  try {
    listenSocket = OpenListenSocket(error);
  } catch (...) {
    error = kSocketNoBuffers;  // not even a socket object: out of memory
  }
  SetListenerState(true, listenSocket ? AddressPort(listenSocket->LocalAddress()) : 0, error);
  if (!listenSocket) {
    return;  // SetActive reports the failure and deactivates the server
  }
  while (active_.load()) {
    if (!listenSocket->WaitReadable(kAcceptPollMs)) {
      continue;
    }
    const TSocket handle = listenSocket->Accept();
    if (listenSocket->LastErrorCode() == kSocketNoError) {
      AcceptConnection(handle, listenSocket->PeerAddress());
    } else {
      std::this_thread::sleep_for(kAcceptRetryPause);
    }
  }
}

// Only the listener adds connections, so a limit found clear here stays clear until the add.
std::optional<TSynTcpServer::TConnectionLimit> TSynTcpServer::LimitReachedFor(
    const std::string& peerKey) const {
  const int32_t total = maxConnections_.load();
  const int32_t perAddress = maxConnectionsPerAddress_.load();
  const TMutexLock lock(connectionsLock_);
  if (total > 0 && connections_.size() >= static_cast<std::size_t>(total)) {
    return TConnectionLimit::Total;
  }
  const auto found = connectionsPerAddress_.find(peerKey);
  if (perAddress > 0 && found != connectionsPerAddress_.end() && found->second >= perAddress) {
    return TConnectionLimit::PerAddress;
  }
  return std::nullopt;
}

void TSynTcpServer::AcceptConnection(TSocket handle, const TSocketAddress& peerAddress) {
  std::string peerKey = AddressText(peerAddress);
  if (const std::optional<TConnectionLimit> limit = LimitReachedFor(peerKey)) {
    // Counted before the close, so that whoever sees the connection closed sees it counted.
    refusedConnections_.fetch_add(1);
    CloseSocket(handle);
    ConnectionRefused(*limit, peerKey);
    return;
  }
  std::unique_ptr<TSynTcpSrvConnection> connection;
  try {
    if (connectionClass_) {
      connection = connectionClass_(*this);
    }
  } catch (...) {
    // No connection object: the connection is closed below, and the listener goes on.
  }
  if (!connection) {
    CloseSocket(handle);
    return;
  }
  try {
    if (!connection->Attach(handle, peerAddress)) {
      return;  // destroying it closes what it took over
    }
  } catch (...) {
    return;
  }
  TSynTcpSrvConnection* const started = connection.get();
  started->peerKey_ = std::move(peerKey);
  AddConnection(std::move(connection));
  try {
    started->Start();
  } catch (...) {
    // No worker could be started (out of threads): close this connection, keep listening.
    TakeConnection(started).reset();
  }
}

void TSynTcpServer::AddConnection(std::unique_ptr<TSynTcpSrvConnection> connection) {
  const TMutexLock lock(connectionsLock_);
  ++connectionsPerAddress_[connection->peerKey_];
  const TSynTcpSrvConnection* key = connection.get();
  connections_.emplace(key, std::move(connection));
}

void TSynTcpServer::UncountPeer(const TSynTcpSrvConnection& connection) {
  const auto found = connectionsPerAddress_.find(connection.peerKey_);
  if (found != connectionsPerAddress_.end() && --found->second <= 0) {
    connectionsPerAddress_.erase(found);
  }
}

std::unique_ptr<TSynTcpSrvConnection> TSynTcpServer::TakeConnection(
    const TSynTcpSrvConnection* connection) {
  const TMutexLock lock(connectionsLock_);
  const auto found = connections_.find(connection);
  if (found == connections_.end()) {
    return nullptr;
  }
  std::unique_ptr<TSynTcpSrvConnection> taken = std::move(found->second);
  connections_.erase(found);
  UncountPeer(*taken);
  return taken;
}

std::unique_ptr<TSynTcpSrvConnection> TSynTcpServer::TakeAnyConnection() {
  const TMutexLock lock(connectionsLock_);
  if (connections_.empty()) {
    return nullptr;
  }
  const auto first = connections_.begin();
  std::unique_ptr<TSynTcpSrvConnection> taken = std::move(first->second);
  connections_.erase(first);
  UncountPeer(*taken);
  return taken;
}

}  // namespace webtessl
