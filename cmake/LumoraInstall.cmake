# Installation: the programs with their files beside them in one folder of
# their own (they find them next to themselves), links on the path, and the
# desktop entry, MIME package, metainfo, manual pages and icons where desktops
# and tools look for them.
#
# Every installed file is made at configure or build time and installed by
# an install() rule, so install_manifest.txt lists each one and the
# `uninstall` target can remove exactly what was installed.
include(GNUInstallDirs)
# Private programs live in a folder of their own below lib, as on Debian.
set(LUMORA_INSTALL_APPDIR "lib/lumora")
set(_staged "${CMAKE_BINARY_DIR}/install-staged")
file(MAKE_DIRECTORY "${_staged}")

set(_programs lumora lumora-convert)
# Decoders that run as processes of their own beside the program.
foreach(_helper lumora-loader lumora-loader-emf)
  if(TARGET ${_helper})
    list(APPEND _programs ${_helper})
  endif()
endforeach()

# Folders (and a cache) the install may create; recorded at install time when they were
# not there before, so an uninstall removes them again and only them.
set(_dirs
  "${CMAKE_INSTALL_BINDIR}" "lib" "${LUMORA_INSTALL_APPDIR}" "${LUMORA_INSTALL_APPDIR}/icons"
  "${LUMORA_INSTALL_APPDIR}/help" "${CMAKE_INSTALL_DATADIR}"
  "${CMAKE_INSTALL_DATADIR}/applications" "${CMAKE_INSTALL_DATADIR}/metainfo"
  "${CMAKE_INSTALL_DATADIR}/mime" "${CMAKE_INSTALL_DATADIR}/mime/packages"
  "${CMAKE_INSTALL_DATADIR}/icons" "${CMAKE_INSTALL_DATADIR}/icons/hicolor"
  "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable" "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
  "${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256" "${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps"
  "${CMAKE_INSTALL_MANDIR}" "${CMAKE_INSTALL_MANDIR}/man1"
  # and the cache a direct install builds beside other programs' entries
  "${CMAKE_INSTALL_DATADIR}/applications/mimeinfo.cache")
install(CODE "
  set(_dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(_record \"${CMAKE_BINARY_DIR}/install_created_dirs.txt\")
  set(_made)
  if(EXISTS \"\${_record}\")
    file(STRINGS \"\${_record}\" _made)
  endif()
  foreach(_d ${_dirs})
    if(NOT EXISTS \"\${_dest}/\${_d}\")
      list(APPEND _made \"\${_dest}/\${_d}\")
    endif()
  endforeach()
  if(NOT EXISTS \"\${_dest}\")
    list(APPEND _made \"\${_dest}\")
  endif()
  list(REMOVE_DUPLICATES _made)
  list(JOIN _made \"\\n\" _text)
  file(WRITE \"\${_record}\" \"\${_text}\\n\")
")

# What an install needs built, for a package build that skips the rest.
add_custom_target(lumora_programs)
add_dependencies(lumora_programs ${_programs})

install(TARGETS ${_programs} RUNTIME DESTINATION "${LUMORA_INSTALL_APPDIR}")
install(FILES resources/viewer.spl resources/ORXMain.skn DESTINATION "${LUMORA_INSTALL_APPDIR}")
install(DIRECTORY resources/icons DESTINATION "${LUMORA_INSTALL_APPDIR}")
install(DIRECTORY resources/help DESTINATION "${LUMORA_INSTALL_APPDIR}")

# Links on the path, relative so they hold under DESTDIR and in a package.
foreach(_p lumora lumora-convert)
  file(CREATE_LINK "../${LUMORA_INSTALL_APPDIR}/${_p}" "${_staged}/${_p}" SYMBOLIC)
  install(FILES "${_staged}/${_p}" DESTINATION "${CMAKE_INSTALL_BINDIR}")
endforeach()

# The entry starts the program by its name on the path; a desktop finds the
# link in <prefix>/bin, and the program recognises the entry as its own.
set(LUMORA_EXEC lumora)
configure_file(resources/lumora.desktop "${_staged}/lumora.desktop" @ONLY)
install(FILES "${_staged}/lumora.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES resources/com.quorvane.Lumora.metainfo.xml DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES resources/icons/lumora.svg DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES resources/icons/lumora.png DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps")
install(FILES resources/lumora-mime.xml DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages" RENAME lumora.xml)
install(FILES man/lumora.1 man/lumora-convert.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# Caches are the packager's business when staging; a direct install builds
# them (the uninstall builds them again, or removes them with their folder).
install(CODE "
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
    execute_process(COMMAND update-mime-database \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/mime\" OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND update-desktop-database -q \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\" OUTPUT_QUIET ERROR_QUIET)
  endif()
")

add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DLUMORA_BINARY_DIR=${CMAKE_BINARY_DIR} -DLUMORA_DATADIR=${CMAKE_INSTALL_DATADIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/LumoraUninstall.cmake
  COMMENT "Removing the files listed in install_manifest.txt"
  VERBATIM)

if(BUILD_TESTING)
  # Needs the programs built; installs into temporary folders only.
  add_test(NAME install_uninstall_test
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install_uninstall_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(install_uninstall_test PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
endif()
