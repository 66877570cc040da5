#include "form/frm_update.h"

namespace vexa {

FrmUpdate::FrmUpdate(const Platform& platform) : platform_(platform), ui_(platform.ui) {}

namespace {

// Which handler runs for which event. Events not listed here have no handler.
struct Route {
  Control source;
  EventKind kind;
  void (FrmUpdate::*handler)();
};

constexpr Route kRoutes[] = {
    {Control::Form, EventKind::Load, &FrmUpdate::Form_Load},
    {Control::Form, EventKind::QueryUnload, &FrmUpdate::Form_QueryUnload},
    {Control::Form, EventKind::MouseMove, &FrmUpdate::Form_MouseMove},
    {Control::Command1, EventKind::Click, &FrmUpdate::Command1_Click},
    {Control::Label2, EventKind::Click, &FrmUpdate::Label2_Click},
    {Control::Label2, EventKind::MouseMove, &FrmUpdate::Label2_MouseMove},
    {Control::Command_refresh, EventKind::Click, &FrmUpdate::Command_refresh_Click},
    {Control::Command2, EventKind::Click, &FrmUpdate::Command2_Click},
};

}  // namespace

bool FrmUpdate::Raise(Control source, EventKind kind, std::int16_t argument) {
  if (source == Control::Inet1 && kind == EventKind::StateChanged) {
    Inet1_StateChanged(argument);
    return true;
  }
  if (source == Control::Inet1 && kind == EventKind::Progress) {
    Inet1_Progress();
    return true;
  }
  for (const Route& route : kRoutes) {
    if (route.source == source && route.kind == kind) {
      (this->*route.handler)();
      return true;
    }
  }
  return false;
}

}  // namespace vexa
