#include "platform/win32/window/taskbar_win32.h"

#include <shobjidl.h>

#include <algorithm>
#include <utility>

#include "platform/win32/shell_api.h"

namespace vexa {
namespace {

TBPFLAG FlagOf(TaskbarState state) {
  switch (state) {
    case TaskbarState::Normal:
      return TBPF_NORMAL;
    case TaskbarState::Paused:
      return TBPF_PAUSED;
    case TaskbarState::Error:
      return TBPF_ERROR;
    case TaskbarState::Indeterminate:
      return TBPF_INDETERMINATE;
    case TaskbarState::None:
      break;
  }
  return TBPF_NOPROGRESS;
}

ITaskbarList3* ShellTaskbar() {
  const ShellApi& shell = Shell32();
  ITaskbarList3* taskbar = nullptr;
  if (FAILED(shell.CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar)))) {
    return nullptr;
  }
  if (FAILED(taskbar->HrInit())) {
    taskbar->Release();
    return nullptr;
  }
  return taskbar;
}

}  // namespace

TaskbarButton::TaskbarButton(HWND window, Factory factory)
    : window_(window),
      factory_(std::move(factory)),
      createdMessage_(RegisterWindowMessageW(L"TaskbarButtonCreated")) {
  if (createdMessage_ != 0) {
    ChangeWindowMessageFilterEx(window_, createdMessage_, MSGFLT_ALLOW, nullptr);
  }
}

TaskbarButton::~TaskbarButton() {
  Release();
}

void TaskbarButton::Release() {
  if (taskbar_ != nullptr) std::exchange(taskbar_, nullptr)->Release();
  if (comReady_) Shell32().CoUninitialize();
  comReady_ = false;
}

void TaskbarButton::OnCreated() {
  Release();
  if (factory_) {
    taskbar_ = factory_();
  } else {
    try {
      const ShellApi& shell = Shell32();
      comReady_ = SUCCEEDED(shell.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
      if (comReady_) taskbar_ = ShellTaskbar();
    } catch (...) {  // the button only adds to the window: without it nothing is lost
      taskbar_ = nullptr;
    }
  }
  changed_ = true;
  Apply();
}

bool TaskbarButton::Set(TaskbarState state, std::int64_t done, std::int64_t total) {
  const auto thousandths = [](std::int64_t part, std::int64_t whole) {
    return whole > 0 ? part / std::max<std::int64_t>(whole / 1000, 1) : part;
  };
  const bool shownChanges =
      state != state_ || total != total_ || thousandths(done, total) != thousandths(done_, total_);
  state_ = state;
  done_ = done;
  total_ = total;
  changed_ = changed_ || shownChanges;
  return shownChanges;
}

void TaskbarButton::Apply() {
  if (!changed_ || taskbar_ == nullptr) return;
  changed_ = false;
  taskbar_->SetProgressState(window_, FlagOf(state_));
  if (state_ == TaskbarState::None || state_ == TaskbarState::Indeterminate) return;
  // A paused or failed transfer of unknown length shows a full bar in its colour.
  const auto total = static_cast<ULONGLONG>(total_ > 0 ? total_ : 1);
  const auto done = static_cast<ULONGLONG>(total_ > 0 ? std::clamp<std::int64_t>(done_, 0, total_)
                                                       : (state_ == TaskbarState::Normal ? 0 : 1));
  taskbar_->SetProgressValue(window_, done, total);
}

}  // namespace vexa
