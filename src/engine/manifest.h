#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace vexa {

// Where the product's installer is saved and opened from.
inline constexpr char16_t kInstallerPath[] = u"C:\\vexa_setup_zs.exe";
// The kind that marks a component item; any other kind is the setup item.
inline constexpr char16_t kComponentKind[] = u"Z";
// A component body beyond this is no component (the real ones are under 2 MB) and is never
// placed in the system folder; the installer has no limit.
inline constexpr std::int64_t kLargestComponent = 64 * 1024 * 1024;

// One line of the install manifest, before the system folder and the site are known.
struct ManifestItem {
  const char16_t* kind;
  const char16_t* serverPath;  // appended to the download site's root address
  const char16_t* name;
  bool inSystemFolder;  // target is the system folder followed by the name; else kInstallerPath
};

// The nine items, in the order they are installed.
const std::vector<ManifestItem>& InstallManifest();

}  // namespace vexa
