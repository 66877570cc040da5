#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/transfer.h"

namespace vexa {

class TransferRequest;

// The transfer control on WinINet: the system's proxy settings, nothing from or into the
// cache. Operations other than "GET" end in the error state.
//
// Threads. Execute starts one worker thread for the request and returns. Only the worker
// talks to WinINet and fills the request's headers and body. It tells the window each new
// state with PostMessage(window, kStateMessage, state, serial), and never touches the window
// otherwise: progress states only when they are later than the last one posted (so the
// receiving states that repeat for every read don't flood the queue), then exactly one of
// 11 (failure, error status, body shorter than announced) or 12. The window's thread hands a
// message on only when IsCurrentRequest(serial) holds, and reads headers and body only once
// the request is complete: the worker sets an atomic flag before it posts 12, which orders
// its writes before those reads. A new Execute abandons the previous request: its worker
// stops at its next read (or when the WinINet call it waits in returns) and posts nothing
// more. The request is shared by the control and its worker, and the worker is
// detached, so neither outlives what it uses; the body and its spool files go with the last
// owner.
class TransferWinInet final : public Transfer {
 public:
  static constexpr UINT kStateMessage = WM_APP + 1;

  TransferWinInet() = default;
  ~TransferWinInet() override;
  TransferWinInet(const TransferWinInet&) = delete;
  TransferWinInet& operator=(const TransferWinInet&) = delete;

  // The window that receives kStateMessage (wParam: the state; lParam: the request's serial).
  void SetNotifyWindow(HWND window) { window_ = window; }
  // False for the messages of a request that a later Execute has replaced.
  bool IsCurrentRequest(LPARAM serial) const;

  void Execute(const Text& url, const Text& operation) override;
  Text GetHeader(const Text& name) override;
  void GetChunk(std::int32_t size, std::vector<std::uint8_t>& chunk) override;
  std::int64_t BytesReceived() const override;

 private:
  bool CurrentComplete() const;

  HWND window_ = nullptr;
  std::uint32_t serial_ = 0;
  std::shared_ptr<TransferRequest> current_;
};

}  // namespace vexa
