// The window (FrmUpdate, through the fakes of tests/unit) driven through any sequence of a
// transfer's events: progress with any figures, states, completions with any body and any
// announced length, the retry button, the clock. Invariants, from what the user is to see:
// - while bytes arrive, the bar is never wider than its full width (the window's inner width
//   less the bar's margin on both sides) nor negative, and the percentage, when one shows, is
//   0 to 100 %;
// - a transfer starts with an empty bar and no percentage: never the previous item's "100%".
#include <string>

#include "fakes.h"
#include "fuzz_text.h"

using namespace vexa;

namespace {

constexpr float kFullBar = 6195 - 2 * 180;  // FakeUi's ScaleWidth; Picture1's left margin

void CheckShownWhileReceiving(const FakeUi& ui) {
  FUZZ_CHECK(!ui.barWidths.empty());
  const float width = ui.barWidths.back();
  FUZZ_CHECK(width >= 0 && width <= kFullBar);
  const std::string percent = ToUtf8(ui.Caption(Control::Label_http_state2));
  if (percent.empty()) return;
  FUZZ_CHECK(percent.size() >= 2 && percent.size() <= 4 && percent.back() == '%');
  FUZZ_CHECK(percent.find_first_not_of("0123456789") == percent.size() - 1);
  FUZZ_CHECK(std::stoi(percent) <= 100);
}

void CheckNewTransfer(const FakeUi& ui) {
  FUZZ_CHECK(!ui.barWidths.empty() && ui.barWidths.back() == 0);
  FUZZ_CHECK(ui.Caption(Control::Label_http_state2).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  FakeSystem sys;
  sys.Load();
  sys.form.Command_refresh_Click();
  CheckNewTransfer(sys.ui);
  try {
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
      const std::size_t requests = sys.inet.requests.size();
      switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0:
          sys.inet.progress = {in.ConsumeIntegral<std::int64_t>(),
                               in.ConsumeIntegral<std::int64_t>(),
                               in.ConsumeIntegral<std::int32_t>(), in.ConsumeIntegralInRange(0, 3),
                               in.ConsumeIntegralInRange(0, 30)};
          sys.form.Raise(Control::Inet1, EventKind::Progress);
          CheckShownWhileReceiving(sys.ui);
          break;
        case 1:
          sys.form.Raise(Control::Inet1, EventKind::StateChanged,
                         in.ConsumeIntegralInRange<std::int16_t>(-1, 13));
          break;
        case 2: {
          const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, 5000);
          const std::string body(length, static_cast<char>(in.ConsumeIntegral<char>()));
          sys.inet.Respond(body, in.ConsumeBool()
                                     ? std::optional<std::string>(in.ConsumeRandomLengthString(12))
                                     : std::nullopt);
          sys.form.Raise(Control::Inet1, EventKind::StateChanged, 12);
          break;
        }
        case 3:  // a disabled button raises nothing
          if (sys.ui.Enabled(Control::Command_refresh)) {
            sys.form.Raise(Control::Command_refresh, EventKind::Click);
          }
          break;
        default:
          sys.clock.ms += in.ConsumeIntegralInRange(0, 10000);
      }
      if (sys.inet.requests.size() > requests) CheckNewTransfer(sys.ui);
    }
  } catch (const ProgramEnded&) {
    // The installer was saved and started: the run is over.
  }
  return 0;
}
