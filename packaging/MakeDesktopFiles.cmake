# Makes the launcher and the AppStream file from their templates, with the
# translations of the launcher's comment that the language files carry (a
# language file declares its locale in [Info] Locale=; one without is skipped).
#   cmake -DTEMPLATE_DIR=... -DLANG_DIR=... -DOUT_DIR=... -DQLM_APP_ID=... -DQLM_VERSION=...
#         -DQLM_RELEASE_DATE=... -DQLM_HOMEPAGE=... -DQLM_SCREENSHOT_BASE=... -P MakeDesktopFiles.cmake
set(QLM_COMMENT "A messenger for the computers of a local network, without a server.")
# AppStream wants the summary without the full stop.
string(REGEX REPLACE "\\.$" "" QLM_SUMMARY "${QLM_COMMENT}")

function(xml_escape text out)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(QLM_COMMENT_LINES "")
set(QLM_SUMMARY_LINES "")
file(GLOB lng_files "${LANG_DIR}/*.lng")
list(SORT lng_files)
string(LENGTH "${QLM_COMMENT}=" key_length)
foreach(lng ${lng_files})
  file(STRINGS "${lng}" lines ENCODING UTF-8
       REGEX "^(Locale=|A messenger for the computers of a local network, without a server\\.=)")
  set(locale "")
  set(text "")
  foreach(line ${lines})
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line MATCHES "^Locale=(.+)$")
      set(locale "${CMAKE_MATCH_1}")
    else()
      string(SUBSTRING "${line}" ${key_length} -1 text)
    endif()
  endforeach()
  if(locale STREQUAL "" OR text STREQUAL "")
    continue()
  endif()
  string(APPEND QLM_COMMENT_LINES "Comment[${locale}]=${text}\n")
  # Either full stop, Latin or CJK, goes from the summary.
  string(REGEX REPLACE "(\\.|。)$" "" summary "${text}")
  xml_escape("${summary}" summary)
  string(APPEND QLM_SUMMARY_LINES "  <summary xml:lang=\"${locale}\">${summary}</summary>\n")
endforeach()

configure_file(${TEMPLATE_DIR}/launcher.desktop.in ${OUT_DIR}/${QLM_APP_ID}.desktop @ONLY)
configure_file(${TEMPLATE_DIR}/metainfo.xml.in ${OUT_DIR}/${QLM_APP_ID}.metainfo.xml @ONLY)
