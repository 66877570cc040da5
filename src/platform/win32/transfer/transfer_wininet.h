#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "platform/log.h"
#include "platform/transfer.h"
#include "platform/win32/transfer/partial_store.h"
#include "platform/win32/transfer/run_logins.h"
#include "platform/win32/transfer/transfer_request.h"
#include "platform/win32/win_handle.h"
#include "platform/win32/window/window_messages.h"
#include "transfer/download_sites.h"

namespace vexa {

// The transfer control on WinINet: the system's proxy settings, nothing from or into the
// cache. Operations other than "GET" end in the error state.
//
// Threads. Execute starts one worker thread for the request and returns. Only the worker
// talks to WinINet and fills the request's headers and body. It tells the window each new
// state with PostMessage(window, kTransferStateMessage, state, serial), and never touches the
// window otherwise: progress states only when they are later than the last one posted within
// an attempt (so the receiving states that repeat for every read don't flood the queue),
// kTransferProgressMessage(0, serial) when the figures of Progress() changed (at most every
// kScreenUpdateMs, and never a second one before the window has read them), then exactly one of 11
// (the network, once the attempts DownloadAttempts allows are used up or a failure is final:
// no connection, a time-out, an error status, a body shorter than announced) or 12. A failure that
// is not the network's (the spool's disk, the memory) posts no state: it goes to the failure sink,
// which ends the program through its error box. The window's thread hands a message on only when
// IsCurrentRequest(serial) holds, and reads headers and body only once the request is complete: the
// worker sets an atomic flag before it posts 12, which orders its writes before those reads. A new
// Execute abandons the previous request: its worker stops at its next read (or when the WinINet
// call it waits in returns) and posts nothing more. Stop, and the destructor, cancel every request,
// close their connections so that a worker waiting in WinINet returns at once, and wait for the
// workers for at most kStopTimeoutMs in all.
//
// Logins. Only the worker talks to WinINet, but for the system's login dialog: when a proxy or
// the site asks for a login that the run has none of (or refused the one sent), the worker
// posts kTransferLoginMessage(0, serial) and waits, and the window's thread shows the dialog
// (SignIn); a Cancel ends the request in state 11 with Progress().canceledLogin set. A login the
// user gave serves every later request of the run (RunLogins).
//
// The log gets, per request, its address, then either its status, the announced and the
// received length and the time it took, or the cause of its failure: WinINet's or the
// system's error number and message, an error status, or a body shorter than announced.
class TransferWinInet final : public Transfer {
 public:
  static constexpr DWORD kStopTimeoutMs = 2000;
  // An attempt on which no byte came for this long (waiting for its answer or for its body's
  // next bytes) ends as a time-out, and the next one continues.
  static constexpr DWORD kSilenceMs = 30000;

  // `failed` receives, on a worker's thread, a failure that is not the network's. `api` is
  // WinINet's function table; by default the system's, loaded on the first request.
  // `silenceMs`: kSilenceMs, shorter in tests.
  TransferWinInet(FailureSink failed, Log& log, const WinInetApi* api = nullptr,
                  DWORD silenceMs = kSilenceMs);
  ~TransferWinInet() override;
  TransferWinInet(const TransferWinInet&) = delete;
  TransferWinInet& operator=(const TransferWinInet&) = delete;

  // Window's thread, at start-up: deletes the partials of earlier runs that can't be
  // continued (PartialStore::Prepare); the first request does it otherwise.
  void PreparePartials() { partials_->Prepare(); }
  // The window that receives kTransferStateMessage.
  void SetNotifyWindow(HWND window) { window_ = window; }
  // Window's thread, before the first request: the download site's root address and its
  // mirrors', in order (DownloadSites). Without, every address is fetched as it is.
  void SetSites(std::vector<Text> bases) {
    sites_ = std::make_shared<DownloadSites>(std::move(bases));
  }
  // False for the messages of a request that a later Execute has replaced.
  bool IsCurrentRequest(LPARAM serial) const;
  // Cancels every request and waits for the workers (see above). Returns false when one was
  // still running at the time limit.
  bool Stop();
  // Window's thread, on kTransferLoginMessage of the current request: the system's login
  // dialog, owned by `owner`, for the request that waits for it.
  void SignIn(HWND owner);
  // Window's thread: Windows says the PC has woken from sleep (PBT_APMRESUMEAUTOMATIC). The
  // current request's attempt, or its wait before the next, ends, and the next starts at once.
  void Resume();

  void SetBodyLimit(std::int64_t bytes) override { bodyLimit_ = bytes; }
  void Execute(const Text& url, const Text& operation) override;
  Text GetHeader(const Text& name) override;
  void GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) override;
  std::int64_t BytesReceived() const override;
  TransferProgress Progress() const override;
  void DiscardBody(bool refused) override;

 private:
  struct Worker {
    std::shared_ptr<TransferRequest> request;
    UniqueHandle thread;
  };

  bool CurrentIsComplete() const;

  FailureSink failed_;
  Log& log_;
  const WinInetApi* api_;
  HWND window_ = nullptr;
  // Shared with the workers, which may outlive this object at the end of the program.
  const std::shared_ptr<PartialStore> partials_;
  const std::shared_ptr<RunLogins> logins_ = std::make_shared<RunLogins>();
  std::int64_t bodyLimit_ = 0;
  const DWORD silenceMs_;
  std::shared_ptr<DownloadSites> sites_ =
      std::make_shared<DownloadSites>(std::vector<Text>{Text()});
  // The address of the last body refused, and where it came from: asked for next at the site
  // after that one.
  Text refusedUrl_;
  std::size_t refusedSite_ = 0;
  std::uint32_t serial_ = 0;
  std::shared_ptr<TransferRequest> current_;
  std::vector<Worker> workers_;  // every worker that may still run
};

}  // namespace vexa
