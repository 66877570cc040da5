# Refuses a DOWNLOAD_BASE that would break the download paths: they are the root address
# followed by "/...", and the manifest's lists are joined with "|". Included by the project;
# also runs alone: cmake -DDOWNLOAD_BASE=... -P cmake/check_download_base.cmake
if(NOT DOWNLOAD_BASE MATCHES "^https?://[^/|\t ]" OR DOWNLOAD_BASE MATCHES "[/|\t ]$"
   OR DOWNLOAD_BASE MATCHES "[|\t ]")
  message(FATAL_ERROR "DOWNLOAD_BASE \"${DOWNLOAD_BASE}\": give http:// or https:// and a host, "
                      "no \"|\", blank or trailing \"/\"")
endif()
