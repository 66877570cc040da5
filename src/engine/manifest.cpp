#include "engine/manifest.h"

#include <utility>

#include "form/frm_update.h"
#include "settings.h"

namespace vexa {

const std::vector<ManifestItem>& InstallManifest() {
  // The site keeps every file under a ".txt" name; the body is saved under the real name.
  static const std::vector<ManifestItem> items{
      {u"Z", u"/Soft/System/comcat.txt", u"comcat.dll", true},
      {u"Z", u"/Soft/System/MCI32.txt", u"MCI32.OCX", true},
      {u"Z", u"/Soft/System/stdole2.txt", u"stdole2.tlb", true},
      {u"Z", u"/Soft/System/shdocvwdll.txt", u"shdocvw.dll", true},
      {u"Z", u"/Soft/System/shdocvwoca.txt", u"shdocvw.oca", true},
      {u"Z", u"/Soft/System/msxml3.txt", u"msxml3.dll", true},
      {u"Z", u"/Soft/System/MSINET.txt", u"MSINET.OCX", true},
      {u"Z", u"/Soft/System/COMDLG32.txt", u"COMDLG32.OCX", true},
      {u"Y", u"/vexa/Soft/vexa_setup_zs.txt", u"vexa_setup_zs.exe", false},
  };
  return items;
}

// Fills the four pipe lists, each item preceded by "|".
void FrmUpdate::BuildManifest(const Text& systemFolder) {
  Text kinds, urls, names, paths;
  for (const ManifestItem& item : InstallManifest()) {
    kinds += u'|';
    kinds += item.kind;
    urls += u'|';
    urls += Text(kDownloadBase) + item.serverPath;
    names += u'|';
    names += item.name;
    paths += u'|';
    paths += item.inSystemFolder ? systemFolder + item.name : Text(kInstallerPath);
  }
  KindList = std::move(kinds);
  UrlList = std::move(urls);
  NameList = std::move(names);
  PathList = std::move(paths);
}

}  // namespace vexa
