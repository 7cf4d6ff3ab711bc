#include "net/ServerUtils.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <thread>

#include "platform/Console.h"
#include "platform/FileStream.h"
#include "tests/net/LoopbackSockets.h"

namespace webtessl {
namespace {

using testing::PatternBytes;
using testing::TLoopbackPair;

// Reads exactly count bytes from the socket.
std::string ReceiveBytes(TTCPBlockSocket& socket, int64_t count) {
  std::ostringstream received;
  socket.ReceiveToStream(received, 5000, count);
  EXPECT_EQ(socket.LastErrorCode(), 0);
  return received.str();
}

// True when nothing more arrives within a short wait.
bool NothingMore(TTCPBlockSocket& socket) {
  socket.ReceiveLine(100);
  return socket.LastErrorCode() == 10060;
}

TEST(ServerUtilsTest, ChunkedStreamIsFramedIn16KiBChunksWithLastChunkMarker) {
  TLoopbackPair pair;
  const std::string body = PatternBytes(40000);
  std::istringstream stream(body);
  EXPECT_TRUE(SendStreamData(pair.Server, stream, true, -1));
  std::string reassembled;
  for (const auto& [lengthLine, size] :
       {std::pair{"4000", 16384}, {"4000", 16384}, {"1c40", 7232}}) {
    EXPECT_EQ(pair.Client.ReceiveLine(5000), lengthLine);
    reassembled += ReceiveBytes(pair.Client, size);
    EXPECT_EQ(pair.Client.ReceiveLine(5000), "");  // the CR LF after the chunk data
  }
  EXPECT_EQ(reassembled, body);
  EXPECT_EQ(pair.Client.ReceiveLine(5000), "0");
  EXPECT_EQ(pair.Client.ReceiveLine(5000), "");
  EXPECT_TRUE(NothingMore(pair.Client));
}

TEST(ServerUtilsTest, CountLimitsThePartSentAndLeavesTheStreamThere) {
  TLoopbackPair pair;
  const std::string body = PatternBytes(40000);
  std::istringstream stream(body);
  EXPECT_TRUE(SendStreamData(pair.Server, stream, false, 100));
  EXPECT_EQ(ReceiveBytes(pair.Client, 100), body.substr(0, 100));
  EXPECT_TRUE(NothingMore(pair.Client));
  EXPECT_EQ(stream.tellg(), 100);
}

TEST(ServerUtilsTest, ZeroCountChunkedSendsOnlyTheLastChunkMarker) {
  TLoopbackPair pair;
  std::istringstream stream(PatternBytes(10));
  EXPECT_TRUE(SendStreamData(pair.Server, stream, true, 0));
  EXPECT_EQ(ReceiveBytes(pair.Client, 5), "0\r\n\r\n");
  EXPECT_TRUE(NothingMore(pair.Client));
}

TEST(ServerUtilsTest, SmallSendChunkMakesSmallerPieces) {
  TLoopbackPair pair;
  pair.Server.SetMaxSendChunk(1000);
  std::istringstream stream(PatternBytes(2500));
  EXPECT_TRUE(SendStreamData(pair.Server, stream, true, -1));
  for (const char* lengthLine : {"3e8", "3e8", "1f4"}) {
    EXPECT_EQ(pair.Client.ReceiveLine(5000), lengthLine);
    ReceiveBytes(pair.Client, std::stoi(lengthLine, nullptr, 16));
    EXPECT_EQ(pair.Client.ReceiveLine(5000), "");
  }
}

// A stream buffer whose reads fail.
class TFailingBuffer : public std::streambuf {
 protected:
  int_type underflow() override { throw std::runtime_error("disk gone"); }
};

TEST(ServerUtilsTest, FailedStreamReadOrSocketSendIsReportedAsFailure) {
  TLoopbackPair pair;
  TFailingBuffer failing;
  std::istream broken(&failing);
  EXPECT_FALSE(SendStreamData(pair.Server, broken, true, -1));
  EXPECT_TRUE(NothingMore(pair.Client));  // not even the last-chunk marker

  pair.Client.SetLingerOption(true, 0);
  pair.Client.Close();
  const std::string big = PatternBytes(1 << 20);
  bool sent = true;
  for (int attempt = 0; attempt < 50 && sent; ++attempt) {
    std::istringstream stream(big);
    sent = SendStreamData(pair.Server, stream, false, -1);
  }
  EXPECT_FALSE(sent);
  EXPECT_EQ(pair.Server.LastErrorCode(), 10054);
}

// A file of the test's own, removed when it goes.
class TTempFile {
 public:
  explicit TTempFile(const std::string& bytes) {
    path_ = (std::filesystem::temp_directory_path() /
             ("wt-serverutils-" + std::to_string(::getpid()) + "-" + std::to_string(++count_)))
                .string();
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~TTempFile() { std::filesystem::remove(path_); }
  const std::string& Path() const { return path_; }

 private:
  static inline int count_ = 0;
  std::string path_;
};

TEST(ServerUtilsTest, FileStreamIsSentFromItsPositionAndMovesPastWhatWasSent) {
  TLoopbackPair pair;
  const std::string body = PatternBytes(300000);
  const TTempFile file(body);
  const auto stream = TFileStream::Open(file.Path());
  ASSERT_TRUE(stream);
  stream->seekg(1000);
  EXPECT_TRUE(SendStreamData(pair.Server, *stream, false, 200000));
  EXPECT_EQ(ReceiveBytes(pair.Client, 200000), body.substr(1000, 200000));
  EXPECT_EQ(stream->tellg(), 201000);
  EXPECT_TRUE(SendStreamData(pair.Server, *stream, false, -1));  // to the end, no further
  EXPECT_EQ(ReceiveBytes(pair.Client, 99000), body.substr(201000));
  EXPECT_TRUE(NothingMore(pair.Client));

  stream->seekg(0);
  EXPECT_TRUE(SendStreamData(pair.Server, *stream, true, 20000));  // chunked: read through
  EXPECT_EQ(pair.Client.ReceiveLine(5000), "4000");
  EXPECT_EQ(ReceiveBytes(pair.Client, 16384), body.substr(0, 16384));
}

TEST(ServerUtilsTest, FileStreamBeyondFourGibibytesIsSentFromThere) {
  TLoopbackPair pair;
  const TTempFile file("");
  const int64_t offset = (int64_t{1} << 32) + 3;
  {
    std::ofstream out(file.Path(), std::ios::binary);
    out.seekp(offset);
    out << PatternBytes(50000);
  }
  const auto stream = TFileStream::Open(file.Path());
  ASSERT_TRUE(stream);
  stream->seekg(offset - 10);
  EXPECT_TRUE(SendStreamData(pair.Server, *stream, false, 40010));
  EXPECT_EQ(ReceiveBytes(pair.Client, 40010), std::string(10, '\0') + PatternBytes(40000));
}

// A long part leaves in whole segments; nothing of it, nor of what follows, may stay held back
// once it is sent (a held tail would wait up to 200 ms for more that never comes).
TEST(ServerUtilsTest, LongFilePartArrivesWholeAndHoldsNothingBackAfterIt) {
  TLoopbackPair pair;
  const std::string body = PatternBytes((3 << 20) + 123);
  const TTempFile file(body);
  const auto stream = TFileStream::Open(file.Path());
  ASSERT_TRUE(stream);
  std::string received;
  std::thread reader(
      [&] { received = ReceiveBytes(pair.Client, static_cast<int64_t>(body.size())); });
  EXPECT_TRUE(SendStreamData(pair.Server, *stream, false, -1));
  reader.join();
  EXPECT_TRUE(received == body);
  int held = -1;
  socklen_t length = sizeof held;
  ASSERT_EQ(
      getsockopt(static_cast<int>(pair.Server.Handle()), IPPROTO_TCP, TCP_CORK, &held, &length), 0);
  EXPECT_EQ(held, 0);
  pair.Server.SendText("next");
  EXPECT_EQ(ReceiveBytes(pair.Client, 4), "next");
}

TEST(ServerUtilsTest, FileCutShorterOrPeerGoneFailsTheFileStream) {
  TLoopbackPair pair;
  const TTempFile file(PatternBytes(100000));
  const auto stream = TFileStream::Open(file.Path());
  ASSERT_TRUE(stream);
  std::filesystem::resize_file(file.Path(), 60000);
  EXPECT_FALSE(SendStreamData(pair.Server, *stream, false, -1));
  EXPECT_EQ(ReceiveBytes(pair.Client, 60000), PatternBytes(60000));

  std::filesystem::resize_file(file.Path(), 0);
  std::filesystem::resize_file(file.Path(), int64_t{64} << 20);
  const auto large = TFileStream::Open(file.Path());
  ASSERT_TRUE(large);
  pair.Client.SetLingerOption(true, 0);
  pair.Client.Close();
  // No SIGPIPE ends the process: the send fails with the reset code.
  EXPECT_FALSE(SendStreamData(pair.Server, *large, false, -1));
  EXPECT_EQ(pair.Server.LastErrorCode(), 10054);
}

// Once the program ignores the signal for good (as it does at start-up), a file sent to a peer
// that has gone fails the same way, without blocking the signal around the send.
TEST(ServerUtilsTest, PeerGoneFailsTheFileStreamWithTheSignalIgnored) {
  IgnoreBrokenPipeSignal();
  TLoopbackPair pair;
  const TTempFile file(PatternBytes(100000));
  std::filesystem::resize_file(file.Path(), int64_t{64} << 20);
  const auto large = TFileStream::Open(file.Path());
  ASSERT_TRUE(large);
  pair.Client.SetLingerOption(true, 0);
  pair.Client.Close();
  EXPECT_FALSE(SendStreamData(pair.Server, *large, false, -1));
  EXPECT_EQ(pair.Server.LastErrorCode(), 10054);
  sigset_t blocked;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
  EXPECT_EQ(sigismember(&blocked, SIGPIPE), 0) << "the thread's mask is left as it was";
}

TEST(ServerUtilsTest, SameTextExactIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(SameTextExact("Keep-Alive", "keep-alive"));
  EXPECT_TRUE(SameTextExact("", ""));
  EXPECT_FALSE(SameTextExact("close", "closed"));
  EXPECT_FALSE(SameTextExact("\xC4", "\xE4"));  // only ASCII letters fold
  EXPECT_FALSE(SameTextExact("a[", "A{"));
}

struct TRaisingOnDestruction {
  explicit TRaisingOnDestruction(bool* destroyed) : Destroyed(destroyed) {}
  bool* Destroyed;
  ~TRaisingOnDestruction() noexcept(false) {
    *Destroyed = true;
    throw std::runtime_error("destructor failed");
  }
};

TEST(ServerUtilsTest, FreeAndNilQuietClearsFirstAndSwallowsErrors) {
  bool destroyed = false;
  auto object = std::make_unique<TRaisingOnDestruction>(&destroyed);
  EXPECT_NO_THROW(FreeAndNilQuiet(object));
  EXPECT_EQ(object, nullptr);
  EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace webtessl
