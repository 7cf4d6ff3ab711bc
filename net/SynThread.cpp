#include "net/SynThread.h"

#include <utility>

#include "common/ThreadEnd.h"

namespace webtessl {

TSynThread::TSynThread(TThreadMethod method) : method_(std::move(method)) {}

TSynThread::~TSynThread() {
  Terminate();
  if (thread_.joinable()) {
    thread_.join();
  }
}

void TSynThread::Body() {
  threadId_.store(std::this_thread::get_id());
  try {
    RunThreadBody([this] {
      if (method_) method_(*this);
    });
  } catch (...) {
    // An error that escapes the method ends the thread silently; its owner goes on.
  }
  if (onEnded_) onEnded_();
}

void TSynThread::Start() {
  thread_ = std::thread([this] { Body(); });
  threadId_.store(thread_.get_id());
}

std::thread::id TSynThread::StartSelfFreeing(std::unique_ptr<TSynThread> thread) {
  // The body may end and free the object at once, so nothing of it is touched after the start.
  std::thread running([owned = std::move(thread)] { owned->Body(); });
  const std::thread::id id = running.get_id();
  running.detach();
  return id;
}

}  // namespace webtessl
