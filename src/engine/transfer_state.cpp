#include <cmath>
#include <limits>
#include <string>

#include "app/frm_update.h"
#include "engine/manifest.h"

namespace vexa {

namespace {

constexpr std::int32_t kChunkSize = 1024;

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

// The announced body length: the header read as a decimal number (leading blanks skipped,
// a fraction rounded half to even). Zero when the text is no usable length: empty, not a
// number, zero or negative, or beyond the 32-bit range the length has always been held in.
// Lenient on purpose: it only scales the bar. Whether a body arrived whole is the transfer
// control's verdict, on a strict reading of the same header (platform/http_response.h).
std::int64_t AnnouncedLength(const Text& header) {
  std::size_t i = header.find_first_not_of(u" \t\r\n");
  if (i == Text::npos) return 0;
  if (header[i] == u'+') ++i;
  double value = 0;
  bool digits = false;
  for (; i < header.size() && header[i] >= u'0' && header[i] <= u'9'; ++i, digits = true) {
    value = value * 10 + (header[i] - u'0');
  }
  if (i < header.size() && header[i] == u'.') {
    double scale = 0.1;
    for (++i; i < header.size() && header[i] >= u'0' && header[i] <= u'9'; ++i, scale /= 10) {
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
  if (State == icResponseReceived) {
    ui_.SetCaption(Control::Label_http_state, kStateTexts[State] + ItemNames[CurrentIndex]);
  } else if (State == icResponseCompleted) {
    CompleteTransfer();
  } else {
    ui_.SetCaption(Control::Label_http_state, kStateTexts[State]);
  }
}

// Saves the whole body in pieces of 1024 bytes while the bar grows, then registers the
// component and goes on with the queue, or opens the installer and ends the program.
void FrmUpdate::CompleteTransfer() {
  Transfer& inet = platform_.inet1;

  ContentLength = AnnouncedLength(inet.GetHeader(u"Content-length"));
  if (ContentLength == 0) ContentLength = inet.BytesReceived();
  const double barWidth = ui_.ScaleWidth() - 2.0 * ui_.Left(Control::Picture1);
  // An empty body without a usable length fills the bar in its one growth step.
  ProgressScale = static_cast<float>(
      barWidth / static_cast<double>(ContentLength > 0 ? ContentLength : kChunkSize));
  ui_.SetCaption(Control::Label_http_state, kStateTexts[icResponseCompleted]);

  const Text& path = ItemPaths[CurrentIndex];
  {
    auto file = platform_.files.BeginReplace(path);
    std::vector<std::uint8_t> chunk;
    inet.GetChunk(kChunkSize, chunk);
    std::int64_t received = kChunkSize;
    GrowBar();
    ui_.SetCaption(Control::Label_http_state2, PercentText(received));
    while (chunk.size() >= 2) {
      file->Write(chunk.data(), chunk.size());
      inet.GetChunk(kChunkSize, chunk);
      GrowBar();
      received += kChunkSize;
      ui_.SetCaption(Control::Label_http_state2, PercentText(received));
    }
    file->Write(chunk.data(), chunk.size());
    if (!CommitOrFetchAgain(*file)) return;
  }
  platform_.log.Write(u"item " + ItemNames[CurrentIndex] + u": saved to " + path);
  ui_.SetCaption(Control::Label_http_state2, u"100%");

  if (ItemKinds[CurrentIndex] == kComponentKind) {
    Register(path);
  } else {
    RunUpdate(kInstallerPath);
    platform_.end.Now();
  }
  ui_.SetVisible(Control::Picture_http, false);
  DownloadNext();
}

void FrmUpdate::GrowBar() {
  const double width =
      ui_.Width(Control::Picture1) + static_cast<double>(ProgressScale) * kChunkSize;
  ui_.SetWidth(Control::Picture1, static_cast<float>(width));
}

// The received count as a percentage of the body length, rounded half to even.
Text FrmUpdate::PercentText(std::int64_t receivedCount) const {
  if (ContentLength <= 0) return u"100%";
  const double percent =
      static_cast<double>(receivedCount * 100) / static_cast<double>(ContentLength);
  return DecimalText(static_cast<std::int64_t>(std::nearbyint(percent))) + u"%";
}

}  // namespace vexa
