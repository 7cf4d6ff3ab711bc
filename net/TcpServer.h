#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "common/Mutex.h"
#include "net/TcpBlockSocket.h"
#include "net/WorkerPool.h"

namespace webtessl {

class TSynTcpServer;
class TSynTcpSrvConnection;

// Serves a whole connection (OnConnectionExecute) or greets it (OnSendInvite).
using TSynTcpConnectionHandler = std::function<void(TSynTcpSrvConnection& Connection)>;
// Handles one received line (OnCommand).
using TCommandHandler =
    std::function<void(TSynTcpSrvConnection& Connection, const std::string& Command)>;
// Creates the connection object for an accepted connection (the server's ConnectionClass).
using TConnectionClass =
    std::function<std::unique_ptr<TSynTcpSrvConnection>(TSynTcpServer& Server)>;

// One accepted connection, owned by its server and served by one worker thread: it reads CR LF
// lines and hands each to OnCommand until it is disconnected, the peer goes, or a read times
// out; then it destroys itself. Threading: Socket and the line loop belong to the worker;
// Disconnect and the read-only accessors are thread-safe. Non-copyable.
class TSynTcpSrvConnection {
 public:
  // Takes OnCommand, LineTimeout, HeadTimeout, SendTimeout, NoDelay and MaxLineLength from the
  // server.
  explicit TSynTcpSrvConnection(TSynTcpServer& server);
  // Disconnects, waits until the worker has left the connection, then closes the socket.
  virtual ~TSynTcpSrvConnection();
  TSynTcpSrvConnection(const TSynTcpSrvConnection&) = delete;
  TSynTcpSrvConnection& operator=(const TSynTcpSrvConnection&) = delete;

  // Takes over an accepted handle and its peer address; true when the connection can start.
  virtual bool Attach(TSocket handle, const TSocketAddress& peerAddress);
  // Hands RunConnection to a worker of the server. Listener thread.
  virtual void Start();
  // Serves the connection on the worker, then closes it and, unless the server is destroying
  // it, destroys it. An error raised by a handler closes the connection and is raised on.
  virtual void RunConnection();

  // Asks the connection to end. From the worker: the line loop ends after the current line.
  // From any other thread: also shuts the socket down, so a blocked read fails at once.
  void Disconnect();

  // The connection's socket (no error raising). Worker thread only, while it serves.
  TTCPBlockSocket& Socket() EXCLUDES(lock_);
  // The owning server. Thread-safe.
  TSynTcpServer& Server() const { return server_; }
  // The line handler, taken from the server at creation. Worker thread, or before Start.
  const TCommandHandler& OnCommand() const { return onCommand_; }
  // Replaces the line handler. Worker thread, or before Start.
  void SetOnCommand(TCommandHandler handler) { onCommand_ = std::move(handler); }
  // How long a read waits for more data of a line, in ms. Worker thread, or before Start.
  int32_t LineTimeout() const { return lineTimeout_; }
  void SetLineTimeout(int32_t value) { lineTimeout_ = value; }
  // The worker serving the connection; the default id when none. Thread-safe.
  std::thread::id ThreadId() const { return threadId_.load(); }
  // True from Attach until Disconnect or the end of the worker. Thread-safe.
  bool Connected() const { return connected_.load(); }

 private:
  void Serve();
  void FinishOnWorker();
  void MarkWorkerDone() EXCLUDES(lock_);

  friend class TSynTcpServer;

  TSynTcpServer& server_;
  TCommandHandler onCommand_;
  int32_t lineTimeout_;
  const int32_t headTimeout_;
  const int32_t sendTimeout_;
  std::string peerKey_;  // the peer's address text, set by the server as it counts the connection
  const bool noDelay_;
  const int32_t maxLineLength_;
  std::atomic<std::thread::id> threadId_{};
  std::atomic<bool> connected_{false};
  TMutex lock_;
  // Set by Attach and taken away by the worker as it finishes; read under the lock (by
  // Disconnect from any thread, so the socket is not closed under its abort).
  std::unique_ptr<TTCPBlockSocket> socket_ GUARDED_BY(lock_);
  bool workerBusy_ GUARDED_BY(lock_) = false;  // from Start until the worker has left
  std::condition_variable workerLeft_;
};

// A listening TCP server: one listener thread accepts connections on LocalAddress:Port and
// each connection is served by a worker thread (see TSynTcpSrvConnection), taken from up to
// SpareThreads parked workers or newly started. Connections beyond MaxConnections, or beyond
// MaxConnectionsPerAddress from one remote address, are closed as they are accepted.
// Threading: configure it (events, ConnectionClass, the connection settings) before activating it,
// and activate, deactivate and destroy it from one controlling thread. Disconnect, the counts
// and RunInWorker are thread-safe. Non-copyable.
class TSynTcpServer {
 public:
  static constexpr int32_t kDefaultLineTimeout = 120000;
  // How long the listener waits for a connection before it looks at the Active flag again.
  static constexpr int32_t kAcceptPollMs = 200;
  // Linger time asked for the listening socket; applied in whole seconds, so 0 seconds.
  static constexpr int32_t kListenLingerMs = 10;

  TSynTcpServer();
  // Runs Shutdown, then releases the rest.
  virtual ~TSynTcpServer();
  TSynTcpServer(const TSynTcpServer&) = delete;
  TSynTcpServer& operator=(const TSynTcpServer&) = delete;

  // Deactivates, destroys every live connection (closed, its worker waited for) and ends the
  // parked workers. A derived server whose handlers run on the workers calls it first in its
  // own destructor, so that no worker runs into a half-destroyed object. Controlling thread.
  void Shutdown();

  bool Active() const { return active_.load(); }
  // True starts the listener thread and returns once it listens; raises ESynapseError "Missing
  // server Port" when Port is empty, and the socket failure ("Synapse TCP/IP Socket error 10048:
  // Address already in use", ...) when the address and port cannot be bound or listened on, the
  // server staying inactive. False stops the listener and waits for it, within one accept poll.
  // Open connections go on.
  virtual void SetActive(bool value);
  const std::string& Port() const { return port_; }
  // Deactivates the server first; the port takes effect at the next activation.
  void SetPort(std::string_view port);
  // The port the listener listens on, known once SetActive(true) has returned (with Port "0"
  // the system chooses it); 0 while inactive or when the port could not be bound. Thread-safe.
  uint16_t ListeningPort() const;
  const std::string& LocalAddress() const { return localAddress_; }
  // Address to bind, empty for all local addresses; deactivates the server first.
  void SetLocalAddress(std::string_view address);

  int32_t LineTimeout() const { return lineTimeout_.load(); }
  void SetLineTimeout(int32_t value) { lineTimeout_.store(value); }
  // Idle workers kept parked for reuse (3 by default); negative values are stored as 0.
  // Lowering it ends the parked workers beyond it. Thread-safe.
  int16_t SpareThreads() const { return pool_.SpareThreads(); }
  void SetSpareThreads(int16_t value) { pool_.SetSpareThreads(value); }
  // Turn the small-packet delay off on accepted connections (on by default), so that a reply
  // sent in several pieces does not wait for the peer's delayed acknowledgement.
  bool NoDelay() const { return noDelay_.load(); }
  void SetNoDelay(bool value) { noDelay_.store(value); }

  // Longest line accepted on a connection, without its CR LF (0, the default: no limit); a
  // longer line ends the connection (10055) after at most about twice this much was buffered.
  int32_t MaxLineLength() const { return maxLineLength_.load(); }
  void SetMaxLineLength(int32_t value) { maxLineLength_.store(value); }

  // From the first byte of a line on, the line must arrive within this many ms (0, the
  // default: no bound; each wait for more still gets LineTimeout). A derived server that reads
  // more of a request after the line may use the same bound; the socket's read deadline carries
  // it (see TTCPBlockSocket::ArmReadDeadlineOnData). LineTimeout alone bounds the wait for a
  // line's first byte: the idle time of a kept connection.
  int32_t HeadTimeout() const { return headTimeout_.load(); }
  void SetHeadTimeout(int32_t value) { headTimeout_.store(value); }
  // A send on a connection that gets no byte out for this many ms fails (0, the default: none).
  int32_t SendTimeout() const { return sendTimeout_.load(); }
  void SetSendTimeout(int32_t value) { sendTimeout_.store(value); }
  // Most live connections, in all and from one remote address (0, the default: no limit). A
  // connection beyond either is closed at once, and ConnectionRefused is told.
  int32_t MaxConnections() const { return maxConnections_.load(); }
  void SetMaxConnections(int32_t value) { maxConnections_.store(value); }
  int32_t MaxConnectionsPerAddress() const { return maxConnectionsPerAddress_.load(); }
  void SetMaxConnectionsPerAddress(int32_t value) { maxConnectionsPerAddress_.store(value); }
  // Connections refused by either limit since the server was created. Thread-safe.
  uint64_t RefusedConnections() const { return refusedConnections_.load(); }

  const TSynTcpConnectionHandler& OnConnectionExecute() const { return onConnectionExecute_; }
  void SetOnConnectionExecute(TSynTcpConnectionHandler handler) {
    onConnectionExecute_ = std::move(handler);
  }
  const TCommandHandler& OnCommand() const { return onCommand_; }
  void SetOnCommand(TCommandHandler handler) { onCommand_ = std::move(handler); }
  const TSynTcpConnectionHandler& OnSendInvite() const { return onSendInvite_; }
  void SetOnSendInvite(TSynTcpConnectionHandler handler) { onSendInvite_ = std::move(handler); }
  // The factory of connection objects; empty closes every accepted connection at once.
  void SetConnectionClass(TConnectionClass connectionClass) {
    connectionClass_ = std::move(connectionClass);
  }

  // Asks a connection to end (see TSynTcpSrvConnection::Disconnect). Thread-safe.
  void Disconnect(TSynTcpSrvConnection& connection) { connection.Disconnect(); }
  // Runs a job on a parked or new worker; returns its thread id. Thread-safe.
  std::thread::id RunInWorker(TWorkerJob job) { return pool_.RunInWorker(std::move(job)); }

  // Live connections, parked workers, and all workers. Thread-safe.
  std::size_t ConnectionCount() const;
  std::size_t ParkedWorkerCount() const { return pool_.ParkedCount(); }
  std::size_t WorkerCount() const { return pool_.WorkerCount(); }

 protected:
  // Creates the listening socket; the listener thread owns it while it runs.
  virtual std::unique_ptr<TTCPBlockSocket> CreateListenSocket();

  // Which connection limit refused a connection.
  enum class TConnectionLimit { Total, PerAddress };
  // Told on the listener thread after a connection was closed for a limit; does nothing here.
  virtual void ConnectionRefused(TConnectionLimit /*limit*/, const std::string& /*peer*/) {}

 private:
  friend class TSynTcpSrvConnection;

  // The listener thread's body: bind, listen, report ready, accept until Active clears.
  void AcceptLoop();
  void StopListener();
  std::unique_ptr<TTCPBlockSocket> OpenListenSocket(int32_t& error);
  void SetListenerState(bool ready, uint16_t port, int32_t error = kSocketNoError)
      EXCLUDES(listenerLock_);

  void AcceptConnection(TSocket handle, const TSocketAddress& peerAddress);
  // The limit that a new connection from the peer would break, if any.
  std::optional<TConnectionLimit> LimitReachedFor(const std::string& peerKey) const
      EXCLUDES(connectionsLock_);
  void AddConnection(std::unique_ptr<TSynTcpSrvConnection> connection)
      EXCLUDES(connectionsLock_);
  // Forgets a connection taken out of the list in the count of its peer.
  void UncountPeer(const TSynTcpSrvConnection& connection) REQUIRES(connectionsLock_);
  // Takes a connection out of the list; empty when it is no longer there.
  std::unique_ptr<TSynTcpSrvConnection> TakeConnection(const TSynTcpSrvConnection* connection)
      EXCLUDES(connectionsLock_);
  std::unique_ptr<TSynTcpSrvConnection> TakeAnyConnection() EXCLUDES(connectionsLock_);

  TWorkerPool pool_;  // declared first: destroyed last, after every worker has ended
  std::string localAddress_;
  std::string port_;
  std::atomic<bool> active_{false};
  std::atomic<int32_t> lineTimeout_{kDefaultLineTimeout};
  std::atomic<bool> noDelay_{true};
  std::atomic<int32_t> maxLineLength_{0};
  std::atomic<int32_t> headTimeout_{0};
  std::atomic<int32_t> sendTimeout_{0};
  std::atomic<int32_t> maxConnections_{0};
  std::atomic<int32_t> maxConnectionsPerAddress_{0};
  std::atomic<uint64_t> refusedConnections_{0};
  TSynTcpConnectionHandler onConnectionExecute_;
  TCommandHandler onCommand_;
  TSynTcpConnectionHandler onSendInvite_;
  TConnectionClass connectionClass_;
  std::unique_ptr<TSynThread> listenerThread_;
  mutable TMutex listenerLock_;
  bool listenerReady_ GUARDED_BY(listenerLock_) = false;  // the listener has tried to listen
  uint16_t listeningPort_ GUARDED_BY(listenerLock_) = 0;
  int32_t listenError_ GUARDED_BY(listenerLock_) = 0;  // why the listener could not listen
  std::condition_variable listenerReadyChanged_;
  mutable TMutex connectionsLock_;
  std::unordered_map<const TSynTcpSrvConnection*, std::unique_ptr<TSynTcpSrvConnection>>
      connections_ GUARDED_BY(connectionsLock_);
  std::unordered_map<std::string, int32_t> connectionsPerAddress_ GUARDED_BY(connectionsLock_);
};

}  // namespace webtessl
