#include "platform/win32/transfer/transfer_wininet.h"
#include "platform/win32/code_page_win32.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/win32/failure_texts.h"
#include "platform/win32/transfer/transfer_request.h"
#include "platform/win32/transfer/wininet_api.h"
#include "platform/win32/win_error.h"
#include "transfer/http_response.h"

namespace vexa {

TransferWinInet::TransferWinInet(FailureSink failed, Log& log, const WinInetApi* api,
                                 DWORD silenceMs)
    : failed_(std::move(failed)),
      log_(log),
      api_(api),
      partials_(std::make_shared<PartialStore>(log)),
      silenceMs_(silenceMs) {}

TransferWinInet::~TransferWinInet() {
  Stop();
}

void TransferWinInet::Resume() {
  if (current_ && !current_->Complete()) {
    log_.Write(u"the PC woke from sleep");
    current_->Resume();
  }
}

bool TransferWinInet::Stop() {
  // A worker waits for WinINet only through its connection's watched calls, which end at once
  // when the request is cancelled (a call itself is left to its own thread: see BlockingCalls).
  for (Worker& worker : workers_) worker.request->Abort();
  const DWORD start = GetTickCount();
  bool allEnded = true;
  for (Worker& worker : workers_) {
    const DWORD spent = GetTickCount() - start;
    const DWORD left = spent < kStopTimeoutMs ? kStopTimeoutMs - spent : 0;
    allEnded = WaitForSingleObject(worker.thread.Get(), left) == WAIT_OBJECT_0 && allEnded;
  }
  workers_.clear();  // a worker still running owns its request; the process ends around it
  return allEnded;
}

bool TransferWinInet::IsCurrentRequest(LPARAM serial) const {
  return current_ && serial == static_cast<LPARAM>(serial_);
}

void TransferWinInet::Execute(const Text& url, const Text& operation) {
  if (api_ == nullptr) api_ = &WinInet();
  partials_->Prepare();  // here, on the window's thread, before any worker uses it
  if (current_) current_->Cancel();
  // Workers that have ended need no waiting for at the end.
  workers_.erase(std::remove_if(workers_.begin(), workers_.end(),
                                [](const Worker& worker) {
                                  return WaitForSingleObject(worker.thread.Get(), 0) ==
                                         WAIT_OBJECT_0;
                                }),
                 workers_.end());
  ++serial_;
  const std::size_t firstSite = url == refusedUrl_ ? sites_->After(refusedSite_) : sites_->Start();
  refusedUrl_.clear();
  current_ = std::make_shared<TransferRequest>(
      *api_, failed_, log_, partials_, window_, static_cast<LPARAM>(serial_), url, sites_,
      firstSite, EqualIgnoringAsciiCase(operation, u"GET"), bodyLimit_, silenceMs_);
  current_->SetLogins(logins_);
  auto owner = std::make_unique<std::shared_ptr<TransferRequest>>(current_);
  UniqueHandle thread(
      CreateThread(nullptr, 0, &TransferRequest::RunWorker, owner.get(), 0, nullptr));
  if (!thread.Valid()) throw SystemError(GetLastError(), failure::kCannotStartDownload, url);
  owner.release();  // the worker owns it now
  workers_.push_back(Worker{current_, std::move(thread)});
}

void TransferWinInet::SignIn(HWND owner) {
  // Holds the request while the dialog's own message loop runs.
  if (const std::shared_ptr<TransferRequest> request = current_) request->AskLogin(owner);
}

bool TransferWinInet::CurrentIsComplete() const {
  return current_ && current_->Complete();
}

Text TransferWinInet::GetHeader(const Text& name) {
  return CurrentIsComplete() ? HeaderValue(current_->Headers(), name) : Text();
}

void TransferWinInet::GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) {
  chunk.clear();
  if (size > 0 && CurrentIsComplete()) {
    current_->Body().Read(static_cast<std::size_t>(size), chunk);
  }
}

std::int64_t TransferWinInet::BytesReceived() const {
  return current_ ? current_->Received() : 0;
}

void TransferWinInet::DiscardBody(bool refused) {
  if (!CurrentIsComplete()) return;
  current_->DiscardBody();
  if (refused) {
    refusedUrl_ = current_->RequestUrl();
    refusedSite_ = current_->Site();
  }
}

TransferProgress TransferWinInet::Progress() const {
  return current_ ? current_->Progress() : TransferProgress{};
}

}  // namespace vexa
