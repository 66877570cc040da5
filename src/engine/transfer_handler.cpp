#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "engine/manifest.h"
#include "form/frm_update.h"

namespace vexa {

namespace {

constexpr std::int32_t kChunkSize = 1024;
// The time left comes from the rate of the last few seconds, shown at most once a second and
// not before the first two seconds of an attempt have given a rate worth the name.
constexpr std::int64_t kRateWindowMs = 5000;
constexpr std::int64_t kTimeLeftEveryMs = 1000;
constexpr std::int64_t kFirstTimeLeftAfterMs = 2000;

// Caption of the state label for the states 1 to 12 (index 0 unused).
constexpr const char16_t* kStateTexts[] = {
    nullptr,
    u"正在查询所指定的主机的   IP   地址",
    u"成功地找到所指定的主机的   IP   地址",
    u"正在与主机连接",
    u"已与主机连接成功",
    u"正在向主机发送请求",
    u"发送请求已成功",
    u"在接收主机的响应",
    u"正在下载...",
    u"正在解除与主机的连接",
    u"已成功地与主机解除了连接",
    u"与主机通讯时出现了错误",
    u"请求已经完成，并且所有数据均已接收到",
};

// State 8's caption for the item `name`: it says so once the item comes from a mirror of the
// download site.
Text DownloadingText(const TransferProgress& progress, const Text& name) {
  return (progress.site > 0 ? Text(u"正在从备用站点下载...")
                            : Text(kStateTexts[icResponseReceived])) +
         name;
}

// The state line after a failure: a request that ended because the user declined the login
// it was asked for says whose.
const char16_t* ErrorText(LoginWanted canceled) {
  switch (canceled) {
    case LoginWanted::kProxy:
      return u"代理服务器要求登录，已取消。";
    case LoginWanted::kSite:
      return u"下载站点要求登录，已取消。";
    default:
      return kStateTexts[icError];
  }
}

// The announced body length: the header read as a decimal number (leading blanks skipped,
// a fraction rounded half to even). Zero when the text is no usable length: empty, not a
// number, zero or negative, or beyond the 32-bit range the length has always been held in.
// Lenient on purpose, and the window's own reading: a server's "2047.5" or " +2048" still
// scales the bar, where the control's strict reading (StrictLength, transfer/http_response.h)
// sees no announcement, because only that one decides whether a body arrived whole.
std::int64_t AnnouncedLength(const Text& header) {
  std::size_t i = header.find_first_not_of(u" \t\r\n");
  if (i == Text::npos) return 0;
  // The scans stop at the text's terminating u'\0' (header[header.size()]), which is neither
  // a digit nor a point.
  if (header[i] == u'+') ++i;
  double value = 0;
  bool digits = false;
  for (; header[i] >= u'0' && header[i] <= u'9'; ++i, digits = true) {
    value = value * 10 + (header[i] - u'0');
  }
  if (header[i] == u'.') {
    double scale = 0.1;
    for (++i; header[i] >= u'0' && header[i] <= u'9'; ++i, scale /= 10) {
      value += (header[i] - u'0') * scale;
      digits = true;
    }
  }
  value = std::nearbyint(value);
  if (!digits || value < 1 || value > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<std::int64_t>(value);
}

}  // namespace

void FrmUpdate::Inet1_StateChanged(std::int16_t State) {
  if (State < icResolvingHost || State > icResponseCompleted) return;
  ShownState = State;
  if (State == icResponseReceived) {
    ui_.SetCaption(Control::Label_http_state,
                   DownloadingText(platform_.inet1.Progress(), ItemNames[CurrentIndex]));
  } else if (State == icResponseCompleted) {
    CompleteTransfer();
  } else if (State == icError) {
    const TransferProgress progress = platform_.inet1.Progress();
    ui_.SetCaption(Control::Label_http_state, ErrorText(progress.canceledLogin));
    ui_.SetTaskbarProgress(TaskbarState::Error, progress.received, progress.total);
    OfferRetry();
  } else {
    ui_.SetCaption(Control::Label_http_state, kStateTexts[State]);
  }
}

// Bytes are arriving, or the transfer waits to try again. With a believable length the bar
// and the percentage follow the bytes in hand as the save loop will measure them; without one
// they stay empty until the save.
void FrmUpdate::Inet1_Progress() {
  const TransferProgress progress = platform_.inet1.Progress();
  const bool known = progress.total > 0;
  // What is in hand of the announced length: more than all of it (a body longer than
  // announced, which the control refuses) shows as all of it.
  const std::int64_t inHand =
      known ? std::clamp<std::int64_t>(progress.received, 0, progress.total) : 0;
  const double area = BarArea();
  const double width =
      known ? area * static_cast<double>(inHand) / static_cast<double>(progress.total) : 0.0;
  ui_.SetWidth(Control::Picture1, static_cast<float>(width));
  ui_.SetCaption(Control::Label_http_state2, known ? PercentText(inHand, progress.total) : Text());
  if (progress.retry > 0) {
    ShowRetryWait(progress);
    return;
  }
  ui_.SetTaskbarProgress(known ? TaskbarState::Normal : TaskbarState::Indeterminate,
                         progress.received, progress.total);
  if (!known) return;
  TransferProgress inHandOfTotal = progress;
  inHandOfTotal.received = inHand;
  ShowTimeLeft(inHandOfTotal);
}

// The next attempt starts its own rate: ShowTimeLeft samples afresh when the attempt changes.
void FrmUpdate::ShowRetryWait(const TransferProgress& progress) {
  ShownState = 0;
  ui_.SetCaption(Control::Label_http_state, u"网络连接中断，" + DecimalText(progress.secondsLeft) +
                                                u" 秒后重试（第 " + DecimalText(progress.retry) +
                                                u" 次，共 " + DecimalText(kMostRetries) +
                                                u" 次）...");
  ui_.SetTaskbarProgress(TaskbarState::Paused, progress.received, progress.total);
}

// While state 8 shows: its text, two blanks and the time left at the recent rate.
void FrmUpdate::ShowTimeLeft(const TransferProgress& progress) {
  const std::int64_t now = platform_.clock.Milliseconds();
  auto& samples = TimeLeft.samples;
  if (samples.empty() || TimeLeft.attempt != progress.attempt) {
    samples = {{now, progress.received}};
    TimeLeft.attempt = progress.attempt;
    TimeLeft.shownMs = now - kTimeLeftEveryMs + kFirstTimeLeftAfterMs;
    return;
  }
  samples.push_back({now, progress.received});
  // The oldest sample kept is the last one at least kRateWindowMs old.
  const auto recent =
      std::find_if(samples.begin(), samples.end(),
                   [now](const TimeLeftMeter::Sample& s) { return now - s.ms < kRateWindowMs; });
  if (recent != samples.begin()) samples.erase(samples.begin(), recent - 1);
  if (ShownState != icResponseReceived || now - TimeLeft.shownMs < kTimeLeftEveryMs) return;
  TimeLeft.shownMs = now;
  const TimeLeftMeter::Sample& first = samples.front();
  const double perMs = now > first.ms ? static_cast<double>(progress.received - first.received) /
                                            static_cast<double>(now - first.ms)
                                      : 0.0;
  Text caption = DownloadingText(progress, ItemNames[CurrentIndex]);
  if (perMs > 0) {
    const double secondsLeft =
        static_cast<double>(std::max<std::int64_t>(progress.total - progress.received, 0)) / perMs /
        1000.0;
    caption += u"  剩余 " + ConvertTime(static_cast<float>(secondsLeft));
  }
  ui_.SetCaption(Control::Label_http_state, caption);
}

// Saves the whole body in pieces of 1024 bytes while the bar grows, then registers the
// component and goes on with the queue, or opens the installer and ends the program.
void FrmUpdate::CompleteTransfer() {
  Transfer& inet = platform_.inet1;

  ContentLength = AnnouncedLength(inet.GetHeader(u"Content-length"));
  if (ContentLength == 0) ContentLength = inet.BytesReceived();
  // An empty body without a usable length fills the bar in its one growth step.
  ProgressScale = static_cast<float>(
      BarArea() / static_cast<double>(ContentLength > 0 ? ContentLength : kChunkSize));
  // The save measures its own progress, from an empty bar.
  ui_.SetWidth(Control::Picture1, 0);
  ui_.SetCaption(Control::Label_http_state, kStateTexts[icResponseCompleted]);

  const Text& path = ItemPaths[CurrentIndex];
  {
    auto file = platform_.files.BeginReplace(path);
    // The window's own arithmetic, kept on purpose: the count and the bar grow by 1024 a
    // GetChunk call, not by the bytes it gave, so the last piece or two may show more than
    // 100 % and draw the bar past its panel until "100%" is set below. Don't count bytes here.
    std::vector<std::uint8_t> chunk;
    inet.GetChunk(kChunkSize, chunk);
    std::int64_t received = kChunkSize;
    GrowBar();
    ui_.SetCaption(Control::Label_http_state2, PercentText(received, ContentLength));
    while (chunk.size() >= 2) {
      file->Write(chunk.data(), chunk.size());
      inet.GetChunk(kChunkSize, chunk);
      GrowBar();
      received += kChunkSize;
      ui_.SetCaption(Control::Label_http_state2, PercentText(received, ContentLength));
      ui_.SetTaskbarProgress(TaskbarState::Normal, std::min(received, ContentLength),
                             ContentLength);
    }
    file->Write(chunk.data(), chunk.size());
    if (!CommitOrFetchAgain(*file)) return;
  }
  platform_.log.Write(u"item " + ItemNames[CurrentIndex] + u": saved to " + path);
  ui_.SetCaption(Control::Label_http_state2, u"100%");
  ui_.SetTaskbarProgress(TaskbarState::None, 0, 0);

  if (ItemKinds[CurrentIndex] == kComponentKind) {
    Register(path);
  } else {
    RunUpdate(kInstallerPath);
    platform_.end.Now();
  }
  ui_.SetVisible(Control::Picture_http, false);
  DownloadNext();
}

// The bar's full width: the panel's inner width less the margin on either side.
double FrmUpdate::BarArea() const {
  return ui_.ScaleWidth() - 2.0 * ui_.Left(Control::Picture1);
}

void FrmUpdate::GrowBar() {
  const double width =
      ui_.Width(Control::Picture1) + static_cast<double>(ProgressScale) * kChunkSize;
  ui_.SetWidth(Control::Picture1, static_cast<float>(width));
}

// The received count as a percentage of the body length, rounded half to even.
Text FrmUpdate::PercentText(std::int64_t receivedCount, std::int64_t length) const {
  if (length <= 0) return u"100%";
  // In floating point: exact for any count below 2^53 / 100, and never overflowing above it.
  const double percent = static_cast<double>(receivedCount) * 100 / static_cast<double>(length);
  return DecimalText(static_cast<std::int64_t>(std::nearbyint(percent))) + u"%";
}

}  // namespace vexa
