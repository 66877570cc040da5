#include "form/frm_update.h"

namespace vexa {

FrmUpdate::FrmUpdate(const Platform& platform) : platform_(platform), ui_(platform.ui) {}

}  // namespace vexa
