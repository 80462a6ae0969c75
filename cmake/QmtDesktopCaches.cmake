# The desktop's caches of a prefix's MIME types, desktop entries and icons,
# brought up to date after an install or an uninstall there.  Debian's
# packages have dpkg triggers for this; a source install does it itself, so
# a prefix such as /usr/local or ~/.local shows the new file type and icon
# without a log-out.  A tool that is missing is skipped with a word.
function(_qmt_refresh_cache folder tool)
  if(NOT IS_DIRECTORY "${folder}")
    return()
  endif()
  find_program(_path ${tool} NO_CACHE)
  if(NOT _path)
    message(STATUS "${tool} not found: ${folder} is not in the desktop's cache until it runs")
    return()
  endif()
  execute_process(COMMAND ${_path} ${ARGN} RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(WARNING "${tool} failed: ${_err}")
  endif()
endfunction()

function(qmt_refresh_desktop_caches datadir)
  _qmt_refresh_cache("${datadir}/mime/packages" update-mime-database "${datadir}/mime")
  _qmt_refresh_cache("${datadir}/applications" update-desktop-database -q "${datadir}/applications")
  _qmt_refresh_cache("${datadir}/icons/hicolor" gtk-update-icon-cache -q -t -f "${datadir}/icons/hicolor")
endfunction()
