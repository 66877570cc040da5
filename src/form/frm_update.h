#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace vexa {

// The update window: every piece of the program's state, and the handlers of its events.
// Handlers are defined in the folder of their subsystem:
//   form/routing.cpp             the constructor; Raise, the routing of events to handlers
//   engine/startup.cpp           Form_Load, HandOverToRunningCopy, GetSpecialFolder,
//                                KillByWindowTitle
//   engine/manifest.cpp          BuildManifest
//   engine/download_queue.cpp    Command_refresh_Click, Command2_Click, DownloadNext,
//                                FetchCurrentItem, OfferRetry, CommitOrFetchAgain, Register
//   engine/transfer_handler.cpp  Inet1_StateChanged, Inet1_Progress, ShowRetryWait,
//                                ShowTimeLeft, CompleteTransfer, BarArea, GrowBar, PercentText
//   window/window_handlers.cpp   Form_MouseMove, Label2_MouseMove, Label2_Click,
//                                Command1_Click, Form_QueryUnload
//   shell/brand_codec.cpp        EncodeBrand, DecodeBrand, AnsiCode, CharOfAnsiCode
//   shell/installer_launch.cpp   RunUpdate
//   shell/time_text.cpp          ConvertTime
// The controls' names are the window's own; window/layout.cpp says what each one is.
class FrmUpdate {
 public:
  explicit FrmUpdate(const Platform& platform);
  FrmUpdate(const FrmUpdate&) = delete;
  FrmUpdate& operator=(const FrmUpdate&) = delete;

  // Runs the handler routed to this event, if any; `argument` is the state of a
  // StateChanged event. Returns false for an event that has no handler.
  bool Raise(Control source, EventKind kind, std::int16_t argument = 0);

  // Public operations of the window.
  Text ConvertTime(float TheTime) const;
  void RunUpdate(const Text& UpdateURL);

  // Event handlers.
  void Form_Load();
  void Form_QueryUnload();
  void Form_MouseMove();
  void Command_refresh_Click();
  void Command2_Click();
  void Command1_Click();
  void Label2_Click();
  void Label2_MouseMove();
  void Inet1_StateChanged(std::int16_t State);
  void Inet1_Progress();

  // The window's state. Plain members, named as the window has always named them; written
  // only by the handlers above, read by the tests.
  Text EncodedBrand;
  Text SystemDir;
  Text KindList, UrlList, NameList, PathList;
  std::vector<Text> ItemKinds, ItemUrls, ItemNames, ItemPaths;
  std::int16_t CurrentIndex = 0;
  // Body length the bar and the percentage are measured against: the announced
  // "Content-length", or the bytes received when the announcement is unusable.
  std::int64_t ContentLength = 0;
  float ProgressScale = 0;
  // While a body arrives: the last state shown, and what the time left is measured from.
  std::int16_t ShownState = 0;
  struct TimeLeftMeter {
    struct Sample {
      std::int64_t ms, received;
    };
    std::vector<Sample> samples;  // (milliseconds, bytes in hand) of the last few seconds
    std::int32_t attempt = 0;     // the attempt they belong to
    std::int64_t shownMs = 0;     // when the time left was last shown
  } TimeLeft;
  // The current item's first body was refused (not its pinned content); a second refusal
  // ends the run.
  bool RefusedOnce = false;
  // The current item's transfer failed for good: the start button offers "重试", which
  // fetches it again and goes on from there.
  bool Stalled = false;

  // The brand codec; private operations of the window in spirit, public so they can be
  // checked on their own.
  Text EncodeBrand(const Text& text) const;
  Text DecodeBrand(const Text& encoded) const;

 private:
  // Start-up.
  void HandOverToRunningCopy();  // ends the program
  Text GetSpecialFolder(std::int32_t folder);
  void KillByWindowTitle(const Text& title);
  void BuildManifest(const Text& systemFolder);
  // Download queue and transfers.
  void DownloadNext();
  void FetchCurrentItem();
  void OfferRetry();
  bool CommitOrFetchAgain(FileReplacement& file);
  void Register(const Text& path);
  void CompleteTransfer();
  Text PercentText(std::int64_t receivedCount, std::int64_t length) const;
  double BarArea() const;
  void GrowBar();
  void ShowRetryWait(const TransferProgress& progress);
  void ShowTimeLeft(const TransferProgress& progress);
  // Brand codec helpers: a character's ANSI code and back.
  std::int16_t AnsiCode(char16_t c) const;
  Text CharOfAnsiCode(std::int32_t code) const;

  Platform platform_;
  Ui& ui_;
};

}  // namespace vexa
