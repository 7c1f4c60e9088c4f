# The Windows package: ZARNCAP.INF (from packaging/windows/make_inf.py) and
# zarncap-<version>-win32.zip with both DLLs, the INF, the README for Windows
# users and the copyright text. Built by the "zarncap_zip" target.
set(zarn_win_stage ${CMAKE_BINARY_DIR}/windows-package)
set(zarn_inf ${zarn_win_stage}/ZARNCAP.INF)
set(zarn_zip ${CMAKE_BINARY_DIR}/zarncap-${PROJECT_VERSION}-win32.zip)

# Text files for Windows users keep Windows line ends.
foreach(pair "packaging/windows/README-WINDOWS.txt;README.TXT" "packaging/debian/copyright;COPYRIGHT.TXT")
  list(GET pair 0 source)
  list(GET pair 1 target)
  file(READ ${CMAKE_SOURCE_DIR}/${source} zarn_text)
  string(REPLACE "\n" "\r\n" zarn_text "${zarn_text}")
  file(WRITE ${zarn_win_stage}/${target} "${zarn_text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${source})
endforeach()

add_custom_command(OUTPUT ${zarn_inf}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/packaging/windows/make_inf.py --version ${PROJECT_VERSION}
          --out ${zarn_inf}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/windows/make_inf.py VERBATIM)
add_custom_target(zarncap_inf ALL DEPENDS ${zarn_inf})

add_custom_command(OUTPUT ${zarn_zip}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zarncap_dll> $<TARGET_FILE:zarncap_sim_dll> ${zarn_win_stage}
  COMMAND ${CMAKE_COMMAND} -E chdir ${zarn_win_stage}
          ${CMAKE_COMMAND} -E tar cf ${zarn_zip} --format=zip
          ZARNCAP.DLL ZARNCAP_SIM.DLL ZARNCAP.INF README.TXT COPYRIGHT.TXT
  DEPENDS zarncap_dll zarncap_sim_dll ${zarn_inf} VERBATIM)
add_custom_target(zarncap_zip ALL DEPENDS ${zarn_zip})
