# Refuses a DOWNLOAD_BASE, or a base of DOWNLOAD_MIRRORS (the further sites, in order, that hold
# the same files under the same paths), that would break the download paths: they are the root
# address followed by "/...", and the manifest's lists are joined with "|". Plain http is refused
# unless the host is this machine (the demo and test site): the program runs as administrator
# and runs what it downloads, so anyone on the network path could otherwise choose it.
# A site on the network also needs the downloads checked: the program runs as administrator what
# it fetches, so without the installer's signer (INSTALLER_SIGNER) and the components' SHA-256
# (COMPONENT_SHA256SUMS) whoever takes over the site, or a CDN in front of it, runs code on every
# client; VEXA_UNVERIFIED_DOWNLOADS=ON (the preset mingw-unverified) builds such a program all
# the same, on purpose, with a warning, and the program says so in its log. (Only the Windows
# builds make the program; the native build of the logic and its tests makes none.) A signer
# named by its key must be well formed.
# Included by the project; also runs alone:
#   cmake -DDOWNLOAD_BASE=... [-DDOWNLOAD_MIRRORS=...;...]
#         [-DINSTALLER_SIGNER=... -DCOMPONENT_SHA256SUMS=...]
#         [-DVEXA_UNVERIFIED_DOWNLOADS=ON] -P cmake/check_download_base.cmake
set(vexa_on_the_network "")
foreach(base IN LISTS DOWNLOAD_BASE DOWNLOAD_MIRRORS)
  set(setting DOWNLOAD_BASE)
  if(NOT base STREQUAL DOWNLOAD_BASE)
    set(setting "DOWNLOAD_MIRRORS")
  endif()
  if(NOT base MATCHES "^https?://[^/|\t ]" OR base MATCHES "[/|\t ]$" OR base MATCHES "[|\t ]")
    message(FATAL_ERROR "${setting} \"${base}\": give http:// or https:// and a host, "
                        "no \"|\", blank or trailing \"/\"")
  endif()
  set(loopback "^https?://(127\\.0\\.0\\.1|localhost)(:[0-9]+)?(/|$)")
  if(base MATCHES "^http://" AND NOT base MATCHES "${loopback}")
    message(FATAL_ERROR "${setting} \"${base}\": plain http:// only for 127.0.0.1 or "
                        "localhost; give https:// for any other site")
  endif()
  if(NOT base MATCHES "${loopback}" AND vexa_on_the_network STREQUAL "")
    set(vexa_on_the_network "${base}")
  endif()
endforeach()
# A signer named by its key is "sha256:" and the 64 hexadecimal digits of its SHA-256.
string(LENGTH "${INSTALLER_SIGNER}" signer_length)
if(INSTALLER_SIGNER MATCHES "^sha256:" AND
   (NOT INSTALLER_SIGNER MATCHES "^sha256:[0-9a-fA-F]+$" OR NOT signer_length EQUAL 71))
  message(FATAL_ERROR "INSTALLER_SIGNER \"${INSTALLER_SIGNER}\": a key is named by \"sha256:\" "
                      "and the 64 hexadecimal digits of its SubjectPublicKeyInfo's SHA-256")
endif()
# VEXA_DOWNLOADS_UNCHECKED_CXX: whether the program is the try-out kind (settings.h).
set(VEXA_DOWNLOADS_UNCHECKED_CXX false)
if((WIN32 OR CMAKE_SCRIPT_MODE_FILE) AND NOT vexa_on_the_network STREQUAL "" AND
   ("${INSTALLER_SIGNER}" STREQUAL "" OR "${COMPONENT_SHA256SUMS}" STREQUAL ""))
  if(NOT VEXA_UNVERIFIED_DOWNLOADS)
    message(FATAL_ERROR "\"${vexa_on_the_network}\" is a site on the network: a release "
                        "build checks what it runs, so give INSTALLER_SIGNER (the vendor's "
                        "signer) and COMPONENT_SHA256SUMS (the components' SHA-256), or build the "
                        "try-out preset mingw-unverified (VEXA_UNVERIFIED_DOWNLOADS=ON), whose "
                        "program runs its downloads unchecked")
  endif()
  message(WARNING "VEXA_UNVERIFIED_DOWNLOADS: downloads are not checked: the program runs as "
                  "administrator what it fetches from ${vexa_on_the_network} with no check but "
                  "TLS, for trying it out only, never for a release")
  set(VEXA_DOWNLOADS_UNCHECKED_CXX true)
endif()
