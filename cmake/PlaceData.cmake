# Places the delivered data files in the program folder. Run at build time:
#   cmake -DSRC=<data dir> -DDST=<program folder> -P PlaceData.cmake
# Files the clinic owns once installed (the database and the logo) are never
# overwritten; everything else is refreshed when the delivered copy changes.
set(protected "KVRDB.mdb;LogoKVR.jpg")
file(GLOB_RECURSE files RELATIVE "${SRC}" "${SRC}/*")
foreach(rel ${files})
  get_filename_component(name "${rel}" NAME)
  if(rel MATCHES "(^|/)CMakeLists\\.txt$" OR rel MATCHES "\\.(sql|py|sh|cmake)$" OR rel MATCHES "^tools/")
    continue()
  endif()
  set(dst "${DST}/${rel}")
  list(FIND protected "${name}" idx)
  if(EXISTS "${dst}" AND NOT idx EQUAL -1)
    continue()
  endif()
  if(NOT EXISTS "${dst}" OR "${SRC}/${rel}" IS_NEWER_THAN "${dst}")
    get_filename_component(dir "${dst}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(COPY_FILE "${SRC}/${rel}" "${dst}" ONLY_IF_DIFFERENT)
  endif()
endforeach()
