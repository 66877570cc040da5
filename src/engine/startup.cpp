#include <algorithm>
#include <vector>

#include "form/frm_update.h"
#include "settings.h"

namespace vexa {

namespace {

constexpr char16_t kBrandFileName[] = u"\\Vexaoem.dat";
constexpr char16_t kEncodedBrandPath[] = u"C:\\vexaoem.dat";
constexpr char16_t kVerificationMarkerPath[] = u"C:\\vexaverification.dat";
constexpr char16_t kProductWindowTitle[] = u"vexa";
constexpr char16_t kRefreshArgument[] = u"REFRESH";

// A process that survives its termination, or a window that outlives its process, would
// keep the kill loop going for ever. Each pass ends or passes over one window and gives a
// process about 100 ms to go, so 50 passes end the loop after about five seconds at the most.
constexpr int kMaxKillPasses = 50;

// How long a second start waits for the running copy to show a window.
constexpr std::int32_t kRunningCopyWaitMs = 5000;

}  // namespace

void FrmUpdate::Form_Load() {
  if (!platform_.copies.TakeLock()) HandOverToRunningCopy();
  Files& files = platform_.files;

  const Text brandFile = platform_.environment.ProgramFolder() + kBrandFileName;
  if (!files.Exists(brandFile, kAttrNormal)) {
    platform_.log.Write(u"brand file missing: " + brandFile + u" (not run from the package)");
    ui_.ShowMessageBox(u"请先解压，而后再安装！", u"Tollumo", MessageIcon::Critical);
    platform_.end.Now();
  }

  FirstLine brand = files.ReadFirstLine(brandFile);
  // A brand file saved in Unicode gives the brand a file in the ANSI code page would give: a
  // character the code page lacks becomes its default character, as in any text.
  if (brand.encoding != TextEncoding::Ansi) {
    brand.text = platform_.codePage.FromAnsi(platform_.codePage.ToAnsi(brand.text));
  }
  const Text BrandName = brand.text;
  platform_.log.Write(u"brand file " + brandFile + u" (" + EncodingName(brand.encoding) + u"): " +
                      BrandName);
  EncodedBrand = EncodeBrand(BrandName);
  files.WriteLine(kEncodedBrandPath, EncodedBrand);
  // Read-only, hidden or system, the marker goes all the same.
  if (files.Exists(kVerificationMarkerPath, kAttrReadOnly | kAttrHidden | kAttrSystem)) {
    files.Delete(kVerificationMarkerPath);
  }

  ui_.SetCaption(Control::Label_v, BrandName + u" 专用安装程序");
  ui_.SetCaption(Control::Label1, Text(u"如果安装工作多次无法进行，请联系QQ：") + kSupportContact);
  ui_.Show();

  SystemDir = GetSpecialFolder(kCsidlSystem);
  platform_.log.Write(u"system folder: " + SystemDir);
  Text systemFolder = SystemDir;
  if (systemFolder.empty() || systemFolder.back() != u'\\') systemFolder += u'\\';
  BuildManifest(systemFolder);

  KillByWindowTitle(kProductWindowTitle);

  if (platform_.environment.CommandLineArgument() == kRefreshArgument) Command_refresh_Click();
}

// One copy at a time: a second start touches nothing (no file, no product, no request), so an
// install under way is never run twice; it brings the running copy to the front and ends.
void FrmUpdate::HandOverToRunningCopy() {
  const RunningCopy running = platform_.copies.BringRunningCopyToFront(kRunningCopyWaitMs);
  const Text copy = u"another copy is running (process " + DecimalText(running.process) + u")";
  if (running.shown) {
    platform_.log.Write(copy + u": brought to the front");
  } else {
    platform_.log.Write(copy + u": no window of it within " +
                        DecimalText(kRunningCopyWaitMs / 1000) + u" s");
    ui_.ShowMessageBox(u"安装程序已在运行。", u"Tollumo", MessageIcon::Information);
  }
  platform_.end.Now();
}

Text FrmUpdate::GetSpecialFolder(std::int32_t folder) {
  return platform_.shell.SpecialFolderPath(folder);
}

// Ends the owners of the windows with this title, never the desktop's shell (an Explorer
// window showing a folder of that name has it) nor this program. A window whose owner can't
// be ended (another user's process, one that no longer owns it) is passed over from then on,
// so the copies after it still go.
void FrmUpdate::KillByWindowTitle(const Text& title) {
  Processes& processes = platform_.processes;
  const std::uint32_t shell = processes.ShellProcess();
  const std::uint32_t self = processes.CurrentProcess();
  std::vector<WindowHandle> passedOver;
  const auto spared = [&](const WindowOwner& found) {
    return found.process == 0 || found.process == shell || found.process == self ||
           std::find(passedOver.begin(), passedOver.end(), found.window) != passedOver.end();
  };
  for (int pass = 0; pass < kMaxKillPasses; ++pass) {
    WindowOwner found = processes.FindWindowOwner(title, 0);
    while (found.window != 0 && spared(found))
      found = processes.FindWindowOwner(title, found.window);
    if (found.window == 0) return;
    if (!processes.Terminate(found)) passedOver.push_back(found.window);
  }
}

}  // namespace vexa
