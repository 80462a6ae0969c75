# A source install (`cmake --install build`) keeps a record of what it put
# where, in the install prefix itself: PREFIX/share/qmt3308/install-record.txt
# with the SHA-256 of each file and the folders the install created, beside
# the script that undoes it (uninstall.cmake).  The uninstall removes only the
# files in that record whose contents are still the ones installed, so it
# cannot touch what it did not install: not a package's files, not a file
# changed since.  Installs into a staging folder (DESTDIR, as package builds
# and cpack do) keep no record: the package manager owns those files.
#
# qmt_install_record_begin() must come before every other install rule and
# qmt_install_record_end() after them all (install rules run in the order
# they are declared, subdirectories included).

set(QMT_RECORD_DIR ${CMAKE_INSTALL_DATADIR}/qmt3308)

function(qmt_install_record_begin)
  # The folders the install rules write into; a folder among them (or above
  # them, up to the prefix) that is not there before the install was made
  # by it and goes again with the uninstall once empty.
  set(_dirs ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_MANDIR}/man1
            ${CMAKE_INSTALL_DATADIR}/bash-completion/completions ${CMAKE_INSTALL_DATADIR}/zsh/site-functions
            ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions ${CMAKE_INSTALL_DATADIR}/applications
            ${CMAKE_INSTALL_DATADIR}/mime/packages ${CMAKE_INSTALL_DATADIR}/metainfo
            ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps ${CMAKE_INSTALL_DOCDIR} ${QMT_RECORD_DIR})
  foreach(_size 16 24 32 48 64 128 256)
    list(APPEND _dirs ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
  endforeach()
  install(CODE "
    set(_qmt_staged FALSE)
    if(NOT \"\$ENV{DESTDIR}\" STREQUAL \"\")
      set(_qmt_staged TRUE)
    endif()
    set(_qmt_created_dirs \"\")
    if(NOT _qmt_staged)
      foreach(_rel ${_dirs})
        set(_dir \"\${CMAKE_INSTALL_PREFIX}/\${_rel}\")
        while(NOT EXISTS \"\${_dir}\")
          list(APPEND _qmt_created_dirs \"\${_dir}\")
          get_filename_component(_dir \"\${_dir}\" DIRECTORY)
        endwhile()
      endforeach()
      list(REMOVE_DUPLICATES _qmt_created_dirs)
    endif()
  ")
endfunction()

function(qmt_install_record_end)
  install(CODE "
    if(NOT _qmt_staged)
      set(_qmt_record_dir \"\${CMAKE_INSTALL_PREFIX}/${QMT_RECORD_DIR}\")
      set(_qmt_record \"\${_qmt_record_dir}/install-record.txt\")
      # A second install into the same prefix adds to the first one's record:
      # the folders it made, and files this install no longer brings.
      set(_qmt_lines \"\")
      if(EXISTS \"\${_qmt_record}\")
        file(STRINGS \"\${_qmt_record}\" _qmt_old)
        foreach(_line IN LISTS _qmt_old)
          if(_line MATCHES \"^dir (.*)$\")
            list(APPEND _qmt_created_dirs \"\${CMAKE_MATCH_1}\")
          elseif(_line MATCHES \"^file [0-9a-f]+ (.*)$\")
            if(NOT CMAKE_MATCH_1 IN_LIST CMAKE_INSTALL_MANIFEST_FILES)
              list(APPEND _qmt_lines \"\${_line}\")
            endif()
          endif()
        endforeach()
        list(REMOVE_DUPLICATES _qmt_created_dirs)
      endif()
      foreach(_dir IN LISTS _qmt_created_dirs)
        list(APPEND _qmt_lines \"dir \${_dir}\")
      endforeach()
      foreach(_file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
        if(EXISTS \"\${_file}\" AND NOT IS_DIRECTORY \"\${_file}\")
          file(SHA256 \"\${_file}\" _sum)
          list(APPEND _qmt_lines \"file \${_sum} \${_file}\")
        endif()
      endforeach()
      list(JOIN _qmt_lines \"\\n\" _qmt_text)
      file(MAKE_DIRECTORY \"\${_qmt_record_dir}\")
      file(WRITE \"\${_qmt_record}\"
           \"# What cmake --install put here; cmake -P uninstall.cmake (beside this file) removes it.\\n\${_qmt_text}\\n\")
      configure_file(\"${PROJECT_SOURCE_DIR}/cmake/QmtUninstall.cmake\" \"\${_qmt_record_dir}/uninstall.cmake\" COPYONLY)
      configure_file(\"${PROJECT_SOURCE_DIR}/cmake/QmtDesktopCaches.cmake\" \"\${_qmt_record_dir}/desktop-caches.cmake\"
                     COPYONLY)
      message(STATUS \"Recorded in: \${_qmt_record}; undo with: cmake -P \${_qmt_record_dir}/uninstall.cmake\")
      include(\"\${_qmt_record_dir}/desktop-caches.cmake\")
      qmt_refresh_desktop_caches(\"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
    endif()
  ")
  # The same from the build folder, for the prefix it was configured with.
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DRECORD=${CMAKE_INSTALL_PREFIX}/${QMT_RECORD_DIR}/install-record.txt
            -P ${PROJECT_SOURCE_DIR}/cmake/QmtUninstall.cmake
    COMMENT "Removing what cmake --install put into ${CMAKE_INSTALL_PREFIX}"
    VERBATIM)
endfunction()
