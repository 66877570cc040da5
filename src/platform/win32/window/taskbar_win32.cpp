#include "platform/win32/window/taskbar_win32.h"

#include <shobjidl.h>

#include <algorithm>
#include <utility>

#include "platform/win32/com_runtime.h"

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

// The shell's taskbar, made in the window's apartment.
class ShellTaskbar final : public TaskbarSink {
 public:
  // Null when there is no taskbar to show progress on.
  static std::unique_ptr<TaskbarSink> Make(ComApartment& com) {
    auto made = std::make_unique<ShellTaskbar>();
    try {
      if (!com.Enter() ||
          FAILED(ComRuntime().CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_ITaskbarList3, made->taskbar_.OutVoid())) ||
          FAILED(made->taskbar_->HrInit())) {
        return nullptr;
      }
    } catch (...) {  // the button only adds to the window: without it nothing is lost
      return nullptr;
    }
    return made;
  }
  void SetState(HWND window, int state) override {
    taskbar_->SetProgressState(window, static_cast<TBPFLAG>(state));
  }
  void SetValue(HWND window, std::uint64_t done, std::uint64_t total) override {
    taskbar_->SetProgressValue(window, done, total);
  }

 private:
  ComPtr<ITaskbarList3> taskbar_;
};

}  // namespace

TaskbarButton::TaskbarButton(HWND window, ComApartment& com)
    : TaskbarButton(window, [&com] { return ShellTaskbar::Make(com); }) {}

TaskbarButton::TaskbarButton(HWND window, SinkMaker makeSink)
    : window_(window),
      makeSink_(std::move(makeSink)),
      createdMessage_(RegisterWindowMessageW(L"TaskbarButtonCreated")) {
  if (createdMessage_ != 0) {
    ChangeWindowMessageFilterEx(window_, createdMessage_, MSGFLT_ALLOW, nullptr);
  }
}

void TaskbarButton::OnCreated() {
  sink_ = makeSink_();
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
  if (!changed_ || sink_ == nullptr) return;
  changed_ = false;
  sink_->SetState(window_, FlagOf(state_));
  if (state_ == TaskbarState::None || state_ == TaskbarState::Indeterminate) return;
  // A paused or failed transfer of unknown length shows a full bar in its colour.
  const auto total = static_cast<ULONGLONG>(total_ > 0 ? total_ : 1);
  const auto done = static_cast<ULONGLONG>(total_ > 0 ? std::clamp<std::int64_t>(done_, 0, total_)
                                                      : (state_ == TaskbarState::Normal ? 0 : 1));
  sink_->SetValue(window_, done, total);
}

}  // namespace vexa
