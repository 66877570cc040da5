#include "engine/manifest.h"
#include "form/frm_update.h"
#include "window/layout.h"

namespace vexa {

// The start button starts the walk; after a transfer that failed for good it is "重试", and
// fetches that item again (its bytes kept are continued where the server allows), the items
// before it being done.
void FrmUpdate::Command_refresh_Click() {
  if (Stalled) {
    Stalled = false;
    ui_.SetEnabled(Control::Command_refresh, false);
    ui_.SetCaption(Control::Command_refresh, LayoutOf(Control::Command_refresh).caption);
    platform_.log.Write(u"retry: " + ItemNames[CurrentIndex] + u" again");
    FetchCurrentItem();
    return;
  }
  ui_.SetCaption(Control::Label3, u"状态: 正在准备安装 ...");
  ui_.SetEnabled(Control::Command_refresh, false);
  Command2_Click();
}

// After a transfer that failed for good: the start button, enabled again, offers to try once
// more (Enter presses it).
void FrmUpdate::OfferRetry() {
  Stalled = true;
  ui_.SetCaption(Control::Command_refresh, u"重试");
  ui_.SetEnabled(Control::Command_refresh, true);
  ui_.SetFocus(Control::Command_refresh);
}

void FrmUpdate::Command2_Click() {
  ItemKinds = SplitAt(KindList, u'|');
  ItemUrls = SplitAt(UrlList, u'|');
  ItemNames = SplitAt(NameList, u'|');
  ItemPaths = SplitAt(PathList, u'|');
  CurrentIndex = 0;
  DownloadNext();
}

// Registers every component already in place, in manifest order, and starts the transfer of
// the first item that must be fetched. The walk goes on from the transfer's completion.
void FrmUpdate::DownloadNext() {
  const auto lastItem = static_cast<std::int16_t>(ItemKinds.size() - 1);
  for (;;) {
    ++CurrentIndex;
    if (CurrentIndex > lastItem) return;
    const Text& name = ItemNames[CurrentIndex];
    const Text& path = ItemPaths[CurrentIndex];
    if (ItemKinds[CurrentIndex] != kComponentKind) break;
    ui_.SetCaption(Control::Label3, u"状态: 检查 " + name + u" ...");
    if (!platform_.files.Exists(path, kAttrReadOnly | kAttrHidden | kAttrSystem)) break;
    platform_.log.Write(u"item " + name + u": present at " + path);
    ui_.SetCaption(Control::Label3, u"状态: 注册 " + name + u" ...");
    Register(path);
  }
  RefusedOnce = false;
  FetchCurrentItem();
}

void FrmUpdate::FetchCurrentItem() {
  platform_.log.Write(u"item " + ItemNames[CurrentIndex] + u": to fetch from " +
                      ItemUrls[CurrentIndex] + u" into " + ItemPaths[CurrentIndex]);
  ui_.SetVisible(Control::Picture_http, true);
  // A new transfer shows nothing of the last one: no bar, no percentage.
  ui_.SetWidth(Control::Picture1, 0);
  ui_.SetCaption(Control::Label_http_state2, u"");
  ui_.SetTaskbarProgress(TaskbarState::None, 0, 0);
  ShownState = 0;
  TimeLeft = {};
  platform_.inet1.SetBodyLimit(ItemKinds[CurrentIndex] == kComponentKind ? kLargestComponent : 0);
  platform_.inet1.Execute(ItemUrls[CurrentIndex], u"GET");
}

// A body whose content is not the item's pinned one (or an installer not the vendor's) never
// takes its place: the first time, the item is fetched once more, with a new request (from
// byte 0, nothing of the refused body kept; from the next site where there are mirrors), in
// case the site or a cache on the way sent a damaged copy; the second time, the refusal ends
// the run through the error box. Returns whether the body took its place.
bool FrmUpdate::CommitOrFetchAgain(FileReplacement& file) {
  try {
    file.Commit();
    platform_.inet1.DiscardBody(false);
    return true;
  } catch (const ContentMismatch& mismatch) {
    const std::int32_t site = platform_.inet1.Progress().site;
    platform_.log.Write(u"item " + ItemNames[CurrentIndex] + u": refused, " + mismatch.what + u" " +
                        mismatch.found + u" instead of " + mismatch.expected + u", from " +
                        ItemUrls[CurrentIndex] +
                        (site > 0 ? u" at mirror " + DecimalText(site) : Text()));
    platform_.inet1.DiscardBody(true);  // never offered again
    if (RefusedOnce) throw;
    RefusedOnce = true;
  }
  FetchCurrentItem();
  return false;
}

// Started hidden and never waited for: several registrations may run at once. "/d": cmd
// skips the AutoRun commands of the registry, which the user's unelevated programs can set
// and which would otherwise run with the program's rights.
void FrmUpdate::Register(const Text& path) {
  platform_.processes.StartHidden(u"cmd.exe /d /c regsvr32/s \"" + path + u"\"");
}

}  // namespace vexa
