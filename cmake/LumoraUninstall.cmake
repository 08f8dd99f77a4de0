cmake_minimum_required(VERSION 3.25)
# Removes exactly the files install_manifest.txt lists (below $DESTDIR when
# that is set, as at the install), then the folders the
# install made (when they are empty again), and mends the desktop caches the
# install built: rebuilt where other programs' files remain, removed with a
# folder of ours otherwise.
set(_manifest "${LUMORA_BINARY_DIR}/install_manifest.txt")
set(_record "${LUMORA_BINARY_DIR}/install_created_dirs.txt")
if(NOT EXISTS "${_manifest}")
  message(FATAL_ERROR "Nothing to uninstall: ${_manifest} is missing (run the install first).")
endif()
file(STRINGS "${_manifest}" _files)
set(_made)
if(EXISTS "${_record}")
  file(STRINGS "${_record}" _made)
endif()

set(_prefixes)
foreach(_f IN LISTS _files)
  # The manifest names installed paths without DESTDIR; the same DESTDIR as
  # at the install stages the uninstall.
  set(_f "$ENV{DESTDIR}${_f}")
  if(IS_SYMLINK "${_f}" OR EXISTS "${_f}")
    message(STATUS "Removing: ${_f}")
    file(REMOVE "${_f}")
  endif()
  # The installed prefix, known from the desktop entry's place.
  if(_f MATCHES "^(.*)/${LUMORA_DATADIR}/applications/lumora\\.desktop$")
    list(APPEND _prefixes "${CMAKE_MATCH_1}")
  endif()
endforeach()

foreach(_p IN LISTS _prefixes)
  set(_mime "${_p}/${LUMORA_DATADIR}/mime")
  set(_apps "${_p}/${LUMORA_DATADIR}/applications")
  # The MIME database in a folder the install made holds nothing but what
  # was built from our package.
  if("${_mime}" IN_LIST _made)
    file(GLOB _left "${_mime}/packages/*")
    if(NOT _left)
      file(REMOVE_RECURSE "${_mime}")
    endif()
  elseif(EXISTS "${_mime}/packages")
    execute_process(COMMAND update-mime-database "${_mime}" OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(EXISTS "${_apps}/mimeinfo.cache")
    execute_process(COMMAND update-desktop-database -q "${_apps}" OUTPUT_QUIET ERROR_QUIET)
    # A cache the install made that lists no one any more goes as well.
    file(STRINGS "${_apps}/mimeinfo.cache" _listed REGEX "=")
    if(NOT _listed AND "${_apps}/mimeinfo.cache" IN_LIST _made)
      file(REMOVE "${_apps}/mimeinfo.cache")
    endif()
  endif()
endforeach()

# Deepest first; a folder that is not empty (someone else's files) stays.
list(SORT _made ORDER DESCENDING)
set(_kept)
foreach(_d IN LISTS _made)
  file(GLOB _content "${_d}/*" "${_d}/.*")
  if(IS_DIRECTORY "${_d}" AND NOT _content)
    message(STATUS "Removing folder: ${_d}")
    file(REMOVE "${_d}")
    execute_process(COMMAND rmdir "${_d}" OUTPUT_QUIET ERROR_QUIET)
  elseif(IS_DIRECTORY "${_d}")
    list(APPEND _kept "${_d}")
  endif()
endforeach()
if(_kept)
  list(JOIN _kept "\n" _text)
  file(WRITE "${_record}" "${_text}\n")
else()
  file(REMOVE "${_record}")
endif()
file(REMOVE "${_manifest}")
