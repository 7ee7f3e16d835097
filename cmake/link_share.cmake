# Mirrors resources/ and workers/ into DST_DIR as symbolic links, so edits to the sources are
# seen by a build-tree run without copying.
file(MAKE_DIRECTORY ${DST_DIR})
foreach(sub resources workers)
  file(GLOB entries RELATIVE ${SRC_DIR}/${sub} ${SRC_DIR}/${sub}/*)
  foreach(entry ${entries})
    if(entry MATCHES "__pycache__|\\.pyc$")
      continue()
    endif()
    if(NOT EXISTS ${DST_DIR}/${entry})
      file(CREATE_LINK ${SRC_DIR}/${sub}/${entry} ${DST_DIR}/${entry} SYMBOLIC)
    endif()
  endforeach()
endforeach()
