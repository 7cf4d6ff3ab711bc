// What the POSIX desktop adds to the contract of tests/platform/DesktopMessages_test.cpp: its
// folder and records, which no other user may plant or reach; windows of other processes, over
// connections kept between messages; and peers that die or write broken frames.

#include "platform/DesktopMessages.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/platform/DesktopMessagesTesting.h"
#include "tests/platform/TestDesktop.h"
#include "tests/platform/posix/ForkedChild.h"
#include "tests/support/SecondUser.h"

namespace webtessl {
namespace {

using namespace testing_desktop;
using Clock = std::chrono::steady_clock;

constexpr uintptr_t kQuitMarker = 0xDEAD;

// Child body: a window titled kPeerTitle that answers every WM_COPYDATA with the payload's
// checksum, until a message marked kQuitMarker comes.
int EchoPeer() {
  bool done = false;
  const TWindowHandle window =
      CreateWindow(kClass, kPeerTitle, [&](uint32_t message, uintptr_t, intptr_t lParam) {
        if (message != WM_COPYDATA) return intptr_t{0};
        done = done || reinterpret_cast<const TCopyDataStruct*>(lParam)->dwData == kQuitMarker;
        return ChecksumOf(lParam);
      });
  if (window == 0) return 2;
  PumpFor(
      0, [&] { return done; }, 10000);
  DestroyWindow(window);
  return 0;
}

TWindowHandle AwaitPeer() {
  TWindowHandle peer = 0;
  Eventually([&] { return (peer = FindWindow(kClass, kPeerTitle)) != 0; });
  return peer;
}

// A desktop folder that others may enter or write, or that is no folder of this user, is refused
// and left as it is (what another user put in it would stay if it were "repaired").
TEST(PosixDesktopMessagesTest, DesktopFolderIsPrivateOrRefusedAndNeverChanged) {
  const TTestDesktop desktop;
  const auto modeOf = [](const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  };
  for (const mode_t loose : {0755, 0777, 0710, 0701, 01777}) {
    const std::string folder = desktop.Folder() + "/loose" + std::to_string(loose);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), loose), 0);
    ::setenv("WEBTESSL_DESKTOP", folder.c_str(), 1);
    EXPECT_EQ(DesktopFolder(), "") << std::oct << loose;
    EXPECT_EQ(DesktopFolderPath(), folder);
    EXPECT_EQ(modeOf(folder), loose) << "the folder was changed";
  }
  const std::string fresh = desktop.Folder() + "/fresh";
  ::setenv("WEBTESSL_DESKTOP", fresh.c_str(), 1);
  EXPECT_EQ(DesktopFolder(), fresh) << "a folder made here is private";
  EXPECT_EQ(modeOf(fresh), 0700u);

  // A link in place of the folder could lead elsewhere: no window is made there.
  const std::string link = desktop.Folder() + "/link";
  ASSERT_EQ(::symlink(fresh.c_str(), link.c_str()), 0);
  ::setenv("WEBTESSL_DESKTOP", link.c_str(), 1);
  EXPECT_EQ(DesktopFolder(), "");
  EXPECT_EQ(CreateWindow(kClass, "x", Ignore), 0u);
  EXPECT_EQ(FindWindow(kClass, "x"), 0u);

  const auto other = testing_support::SecondUser();
  if (!other) GTEST_SKIP() << testing_support::kNoSecondUser;
  const std::string foreign = desktop.Folder() + "/foreign";
  ASSERT_EQ(::mkdir(foreign.c_str(), 0700), 0);
  ASSERT_EQ(::chown(foreign.c_str(), other->uid, other->gid), 0);
  ::setenv("WEBTESSL_DESKTOP", foreign.c_str(), 1);
  EXPECT_EQ(DesktopFolder(), "") << "another user's folder, private to them";
  struct stat info {};
  ASSERT_EQ(::stat(foreign.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, other->uid);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
}

// What another user placed in the desktop (by whatever way) is not trusted: a record of theirs
// names no window, and a socket whose listener runs as them gets no byte of a message.
TEST(PosixDesktopMessagesTest, ForeignRecordsAndListenersAreIgnored) {
  const auto other = testing_support::SecondUser();
  if (!other) GTEST_SKIP() << testing_support::kNoSecondUser;
  const TTestDesktop desktop;
  // The other user's listener, bound in a folder of theirs, then moved into the desktop and
  // given to this user, as if it had been planted.
  const std::string theirs = desktop.Folder() + "-theirs";
  ASSERT_EQ(::mkdir(theirs.c_str(), 0700), 0);
  ASSERT_EQ(::chown(theirs.c_str(), other->uid, other->gid), 0);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  TForkedChild listener([&] {
    if (!testing_support::BecomeUser(*other)) return 3;
    const std::string path = theirs + "/s.sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 || ::write(ready[1], "r", 1) != 1) {
      return 4;
    }
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 10000) != 1) return 5;  // never connected to
    const int connection = ::accept(fd, nullptr, nullptr);
    pollfd reading{connection, POLLIN, 0};
    char byte = 0;
    if (::poll(&reading, 1, 5000) != 1) return 6;
    return ::read(connection, &byte, 1) == 0 ? 0 : 7;  // closed without a byte
  });
  char signal = 0;
  ASSERT_EQ(::read(ready[0], &signal, 1), 1);
  constexpr TWindowHandle kPlanted = 4242;
  const std::string planted = desktop.Folder() + "/" + std::to_string(kPlanted) + ".sock";
  ASSERT_EQ(::rename((theirs + "/s.sock").c_str(), planted.c_str()), 0);
  ASSERT_EQ(::chown(planted.c_str(), ::geteuid(), ::getegid()), 0);
  intptr_t result = 0;
  EXPECT_FALSE(
      SendMessageTimeout(kPlanted, WM_COPYDATA, 0, TCopyDataStruct{1, 6, "secret"}, 2000, result));
  EXPECT_EQ(listener.Wait(), 0) << "the listener got bytes, or no connection to check";

  // A record of theirs, well formed and held alive, names no window.
  const TWindowHandle window = CreateWindow(kClass, "Mine", Ignore);
  ASSERT_NE(window, 0u);
  const std::string record = desktop.Folder() + "/" + std::to_string(window) + ".window";
  const std::string copy = desktop.Folder() + "/4343.window";
  std::ifstream original(record, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
  const std::string handleText = std::to_string(window);
  text.replace(text.find(handleText), handleText.size(), "4343");
  text.replace(text.rfind("Mine"), 4, "Fake");
  std::ofstream(copy, std::ios::binary) << text;
  ASSERT_EQ(::chown(copy.c_str(), other->uid, other->gid), 0);
  const int held = ::open(copy.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_EQ(FindWindow(kClass, "Fake"), 0u);
  EXPECT_FALSE(IsWindow(4343));
  ASSERT_EQ(::chown(copy.c_str(), ::geteuid(), ::getegid()), 0);
  EXPECT_EQ(FindWindow(kClass, "Fake"), 4343u) << "the same record of this user's is one";
  ::close(held);
  DestroyWindow(window);
  std::filesystem::remove_all(theirs);
}

// Another local user can neither see the windows nor connect to them.
TEST(PosixDesktopMessagesTest, AnotherUserCannotReachTheWindows) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const TTestDesktop desktop;
  int handOver[2];
  ASSERT_EQ(::pipe(handOver), 0);
  TForkedChild stranger([&] {  // forked before the window exists, as another user
    constexpr uid_t kNobody = 65534;
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) return 3;
    TWindowHandle window = 0;
    if (::read(handOver[0], &window, sizeof window) != sizeof window) return 4;
    if (FindWindow(kClass, kPeerTitle) != 0 || IsWindow(window) || GetWindowText(window) != "") {
      return 5;
    }
    intptr_t result = 0;
    if (SendMessageTimeout(window, WM_COPYDATA, 0, TCopyDataStruct{1, 1, "x"}, 200, result)) {
      return 6;
    }
    const std::string socketPath = desktop.Folder() + "/" + std::to_string(window) + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool refused =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno == EACCES;
    return refused ? 0 : 7;
  });
  const TWindowHandle window =
      CreateWindow(kClass, kPeerTitle, [](uint32_t, uintptr_t, intptr_t) { return intptr_t{1}; });
  ASSERT_NE(window, 0u);
  ASSERT_EQ(::write(handOver[1], &window, sizeof window), static_cast<ssize_t>(sizeof window));
  EXPECT_EQ(stranger.Wait(), 0);
  DestroyWindow(window);
  ::close(handOver[0]);
  ::close(handOver[1]);
}

// Messages of every size cross to another process with their result; those after the first
// travel over the connection the first one left open, and the receiver's buffer for ordinary
// messages survives one too large to keep it for. Once the receiver's window is gone, a send fails
// at once instead of reaching anything through that connection.
TEST(PosixDesktopMessagesTest, MessagesCrossProcessesOverAKeptConnectionUntilTheWindowGoes) {
  const TTestDesktop desktop;
  TForkedChild peer(EchoPeer);
  const TWindowHandle target = AwaitPeer();
  ASSERT_NE(target, 0u);
  intptr_t result = -1;
  ASSERT_TRUE(Send(target, nullptr, 0, result));
  EXPECT_EQ(result, Checksum(nullptr, 0));
  for (int round = 0; round < 20; ++round) {
    const std::string text = "message " + std::to_string(round);
    ASSERT_TRUE(Send(target, text.data(), text.size(), result));
    EXPECT_EQ(result, Checksum(text.data(), text.size()));
  }
  std::vector<uint8_t> large(16 * 1024 * 1024);
  std::iota(large.begin(), large.end(), uint8_t{7});
  ASSERT_TRUE(Send(target, large.data(), large.size(), result));
  EXPECT_EQ(result, Checksum(large.data(), large.size()));
  ASSERT_TRUE(Send(target, "hello", 5, result));
  EXPECT_EQ(result, Checksum("hello", 5));

  ASSERT_TRUE(Send(target, nullptr, 0, result, kQuitMarker));
  EXPECT_EQ(peer.Wait(), 0);
  const auto start = Clock::now();
  EXPECT_FALSE(Send(target, "late", 4, result));
  EXPECT_LT(ElapsedMs(start), 500);
}

// The handles a renewal retired still name the window (acknowledged with 0, never handed to the
// procedure), and the one it was made with, which FindWindow keeps giving, still reaches it.
TEST(PosixDesktopMessagesTest, RenewedWindowKeepsItsFirstHandle) {
  const TTestDesktop desktop;
  const TRenewedWindow window(TRenewedWindow::TAgainUnder::Created);
  const TWindowHandle created = window.Created(), retired = window.Retired();
  ASSERT_NE(window.Current(), 0u);
  EXPECT_NE(window.Current(), retired);
  EXPECT_EQ(FindWindow(kClass, "Renewing"), created);
  EXPECT_TRUE(IsWindow(retired));
  EXPECT_EQ(GetClassName(retired), kClass);
  intptr_t result = -1;
  ASSERT_TRUE(Send(retired, "old", 3, result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(window.Calls(), 0);
  ASSERT_TRUE(Send(created, "first", 5, result));
  EXPECT_EQ(result, Checksum("first", 5));
  EXPECT_EQ(window.Calls(), 1);
}

// A sender that gave up on a message over a kept connection has it never handled, even when the
// receiver looks later.
TEST(PosixDesktopMessagesTest, MessageGivenUpOnAKeptConnectionIsNeverHandled) {
  const TTestDesktop desktop;
  int handOver[2];
  ASSERT_EQ(::pipe(handOver), 0);
  TForkedChild sender([&] {
    TWindowHandle window = 0;
    if (::read(handOver[0], &window, sizeof window) != sizeof window) return 3;
    intptr_t result = 0;
    if (!Send(window, "first", 5, result) || result != 1) return 4;
    return Send(window, "second", 6, result) ? 5 : 0;  // the receiver does not look meanwhile
  });
  std::vector<std::string> handled;
  const TWindowHandle window =
      CreateWindow(kClass, kPeerTitle, [&](uint32_t message, uintptr_t, intptr_t lParam) {
        const auto* data = reinterpret_cast<const TCopyDataStruct*>(lParam);
        if (message == WM_COPYDATA) {
          handled.emplace_back(static_cast<const char*>(data->lpData), data->cbData);
        }
        return intptr_t{1};
      });
  ASSERT_NE(window, 0u);
  ASSERT_EQ(::write(handOver[1], &window, sizeof window), static_cast<ssize_t>(sizeof window));
  PumpFor(
      window, [&] { return !handled.empty(); }, 10000);
  ASSERT_EQ(handled.size(), 1u);
  EXPECT_EQ(sender.Wait(), 0);  // not looking at the window meanwhile
  PumpFor(
      window, [] { return false; }, 200);
  EXPECT_EQ(handled, std::vector<std::string>{"first"});
  DestroyWindow(window);
  ::close(handOver[0]);
  ::close(handOver[1]);
}

TEST(PosixDesktopMessagesTest, PeerKilledInTheMiddleOfAMessageGivesFalseAndLeavesNoTrace) {
  const TTestDesktop desktop;
  TForkedChild peer([] {
    CreateWindow(kClass, kPeerTitle, [](uint32_t, uintptr_t, intptr_t) -> intptr_t {
      ::raise(SIGKILL);
      return 1;
    });
    PumpFor(
        0, [] { return false; }, 10000);
    return 0;
  });
  const TWindowHandle target = AwaitPeer();
  ASSERT_NE(target, 0u);
  const auto start = Clock::now();
  intptr_t result = 0;
  EXPECT_FALSE(Send(target, "query", 5, result));
  EXPECT_LT(ElapsedMs(start), 900);
  EXPECT_EQ(peer.Wait(), -1);
  EXPECT_FALSE(IsWindow(target));
  EXPECT_EQ(FindWindow(kClass, kPeerTitle), 0u);
  EXPECT_TRUE(std::filesystem::is_empty(desktop.Folder()));
}

TEST(PosixDesktopMessagesTest, StaleRecordsAreIgnoredAndRemovedForeignFilesStay) {
  const TTestDesktop desktop;
  TForkedChild dead([] {
    CreateWindow(kClass, kPeerTitle, [](uint32_t, uintptr_t, intptr_t) { return intptr_t{1}; });
    return 0;  // exits without destroying its window
  });
  ASSERT_EQ(dead.Wait(), 0);
  std::ofstream(desktop.Folder() + "/77.window") << "webtessl-window 1\n77 garbage";
  std::ofstream(desktop.Folder() + "/notes.txt") << "foreign";
  std::filesystem::create_directory(desktop.Folder() + "/78.window");
  ASSERT_EQ(std::distance(std::filesystem::directory_iterator(desktop.Folder()), {}), 5);

  EXPECT_EQ(FindWindow(kClass, kPeerTitle), 0u);
  EXPECT_FALSE(IsWindow(77));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(desktop.Folder()), {}), 3);

  const TWindowHandle fresh =
      CreateWindow(kClass, kPeerTitle, [](uint32_t, uintptr_t, intptr_t) { return intptr_t{1}; });
  EXPECT_EQ(FindWindow(kClass, kPeerTitle), fresh);
  DestroyWindow(fresh);
}

// Writes raw bytes to a window's socket as a broken or foreign sender would, then hangs up.
void SendRawBytes(const std::string& folder, TWindowHandle window, const std::string& bytes) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder + "/" + std::to_string(window) + ".sock";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

// A frame head as the desktop's wire carries it: magic, message, wParam, size, the 64-bit marker,
// the target handle and a reserved word.
std::string FrameHead(uint32_t magic, uint32_t message, uint32_t cbData, uint32_t target = 0) {
  const uint32_t fields[] = {magic, message, 0, cbData, 1, 0, target, 0};
  return std::string(reinterpret_cast<const char*>(fields), sizeof fields);
}

TEST(PosixDesktopMessagesTest, BrokenFramesAreDroppedWithoutCallingTheWindow) {
  const TTestDesktop desktop;
  int calls = 0;
  const TWindowHandle window =
      CreateWindow(kClass, "Target", [&](uint32_t message, uintptr_t, intptr_t) {
        calls += message == WM_COPYDATA;
        return intptr_t{1};
      });
  ASSERT_NE(window, 0u);
  constexpr uint32_t kMagic = 0x3244544D;
  SendRawBytes(desktop.Folder(), window, FrameHead(kMagic, WM_COPYDATA, 0).substr(0, 10));
  SendRawBytes(desktop.Folder(), window, FrameHead(kMagic, WM_COPYDATA, 100) + "only ten..");
  SendRawBytes(desktop.Folder(), window, FrameHead(kMagic, WM_COPYDATA, 0xFFFFFFFF));
  SendRawBytes(desktop.Folder(), window, FrameHead(0x12345678, WM_COPYDATA, 0));
  SendRawBytes(desktop.Folder(), window, FrameHead(kMagic, WM_USER, 0));
  // A whole frame whose sender hung up before the answer no longer counts as delivered.
  SendRawBytes(desktop.Folder(), window, FrameHead(kMagic, WM_COPYDATA, 3) + "abc");

  const auto start = Clock::now();
  TMessage msg;
  EXPECT_FALSE(PeekMessage(msg, window, PM_REMOVE));
  EXPECT_LT(ElapsedMs(start), 900);
  EXPECT_EQ(calls, 0);
  DestroyWindow(window);
}

// A connection to the window's socket, left open for the caller to write frames and read answers.
int RawConnection(const std::string& folder, TWindowHandle window) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder + "/" + std::to_string(window) + ".sock";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return fd;
}

void SendOn(int fd, const std::string& bytes) {
  ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
}

// The window's answer on the connection (result, kept flag), or nothing when it closed unanswered.
std::optional<std::pair<int64_t, uint32_t>> AnswerOn(int fd) {
  char reply[16];
  if (::recv(fd, reply, sizeof reply, MSG_WAITALL) != static_cast<ssize_t>(sizeof reply)) {
    return std::nullopt;
  }
  int64_t result = 0;
  uint32_t kept = 0;
  std::memcpy(&result, reply, sizeof result);
  std::memcpy(&kept, reply + sizeof result, sizeof kept);
  return std::make_pair(result, kept);
}

// A frame is taken whether it came in one piece or in several, and is answered; a sender that
// writes anything after its frame before the answer is not a sender of this desktop, and its
// frame is dropped without an answer.
TEST(PosixDesktopMessagesTest, FramesAreTakenWholeOrInPiecesAndNothingMayFollowThem) {
  const TTestDesktop desktop;
  std::vector<std::string> payloads;
  const TWindowHandle window =
      CreateWindow(kClass, "Target", [&](uint32_t message, uintptr_t, intptr_t lParam) {
        if (message != WM_COPYDATA) return intptr_t{0};
        const auto* data = reinterpret_cast<const TCopyDataStruct*>(lParam);
        payloads.emplace_back(static_cast<const char*>(data->lpData), data->cbData);
        return intptr_t{42};
      });
  ASSERT_NE(window, 0u);
  constexpr uint32_t kMagic = 0x3244544D;
  const int whole = RawConnection(desktop.Folder(), window);
  SendOn(whole, FrameHead(kMagic, WM_COPYDATA, 5, window) + "hello");
  const int pieces = RawConnection(desktop.Folder(), window);
  SendOn(pieces, FrameHead(kMagic, WM_COPYDATA, 7, window).substr(0, 20));
  const int trailing = RawConnection(desktop.Folder(), window);
  SendOn(trailing, FrameHead(kMagic, WM_COPYDATA, 3, window) + "abc" + "more");
  // The rest of the second frame comes while the window is reading it.
  std::thread rest([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SendOn(pieces, FrameHead(kMagic, WM_COPYDATA, 7, window).substr(20) + "par");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SendOn(pieces, "tial");
  });
  TMessage msg;
  while (PeekMessage(msg, window, PM_REMOVE)) DispatchMessage(msg);
  rest.join();

  EXPECT_EQ(payloads, (std::vector<std::string>{"hello", "partial"}));
  EXPECT_EQ(AnswerOn(whole), std::make_optional(std::make_pair(int64_t{42}, 1u)));
  EXPECT_EQ(AnswerOn(pieces), std::make_optional(std::make_pair(int64_t{42}, 1u)));
  EXPECT_EQ(AnswerOn(trailing), std::nullopt);
  for (const int fd : {whole, pieces, trailing}) ::close(fd);
  DestroyWindow(window);
}

}  // namespace
}  // namespace webtessl
