# ZARNCAP_SOURCE_REVISION: the commit this tree was built from ("git describe",
# with "-dirty" for uncommitted changes), or what the builder passes with
# -DZARNCAP_SOURCE_REVISION=... (a release tarball has no .git). The
# configuration is redone when the checkout moves, so the text stays true.
if(NOT ZARNCAP_SOURCE_REVISION)
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --abbrev=12
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE zarn_revision OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${CMAKE_SOURCE_DIR}/.git/HEAD ${CMAKE_SOURCE_DIR}/.git/index)
  endif()
  if(NOT zarn_revision)
    set(zarn_revision "unknown")
  endif()
  set(ZARNCAP_SOURCE_REVISION_TEXT ${zarn_revision})
else()
  set(ZARNCAP_SOURCE_REVISION_TEXT ${ZARNCAP_SOURCE_REVISION})
endif()
