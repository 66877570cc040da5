# Refuses a DOWNLOAD_BASE that would break the download paths: they are the root address
# followed by "/...", and the manifest's lists are joined with "|". Plain http is refused
# unless the host is this machine (the demo and test site): the program runs as administrator
# and runs what it downloads, so anyone on the network path could otherwise choose it.
# Included by the project; also runs alone: cmake -DDOWNLOAD_BASE=... -P cmake/check_download_base.cmake
if(NOT DOWNLOAD_BASE MATCHES "^https?://[^/|\t ]" OR DOWNLOAD_BASE MATCHES "[/|\t ]$"
   OR DOWNLOAD_BASE MATCHES "[|\t ]")
  message(FATAL_ERROR "DOWNLOAD_BASE \"${DOWNLOAD_BASE}\": give http:// or https:// and a host, "
                      "no \"|\", blank or trailing \"/\"")
endif()
if(DOWNLOAD_BASE MATCHES "^http://" AND
   NOT DOWNLOAD_BASE MATCHES "^http://(127\\.0\\.0\\.1|localhost)(:[0-9]+)?(/|$)")
  message(FATAL_ERROR "DOWNLOAD_BASE \"${DOWNLOAD_BASE}\": plain http:// only for 127.0.0.1 or "
                      "localhost; give https:// for any other site")
endif()
