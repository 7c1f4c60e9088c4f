# The Debian package, built by CPack from the "package" preset (prefix /usr,
# so the libraries go to the multiarch folder): cpack --preset package ->
# zarncap_<version>_<arch>.deb with dependencies computed by dpkg-shlibdeps.
include(GNUInstallDirs)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarncap)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "zarncap developers")
set(CPACK_PACKAGE_CONTACT "zarncap developers <zarncap@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "capture driver and tool for the Zarn parallel-port colour camera")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "zarncap captures stills and video from the small Zarn colour camera on the\n"
    "PC parallel port. The driver (libzarncap.so) answers the video-capture\n"
    "messages of its Windows twin ZARNCAP.DLL; the zarncap command takes\n"
    "pictures (PNG, JPEG, BMP, raw YUV), records video (AVI, MKV, MP4, Y4M),\n"
    "sets the picture controls and serves a live preview.\n"
    ".\n"
    "The camera is reached through the kernel's parallel-port driver (ppdev)\n"
    "with libieee1284; members of the lp group may use it. A virtual camera\n"
    "is built in for trying the tool without the hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zarncap.invalid/")
# `zarncap pipewire` and its user service need a PipeWire session to publish into.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pipewire, wireplumber")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)

# What Debian asks of every package besides the program: the copyright file
# and the changelog, compressed, in /usr/share/doc/zarncap; and README.Debian,
# how to reach the camera (ppdev, the lp group).
set(zarn_changelog_gz ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${zarn_changelog_gz}
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/debian/changelog > ${zarn_changelog_gz}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog VERBATIM)
add_custom_target(zarncap_changelog ALL DEPENDS ${zarn_changelog_gz})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${zarn_changelog_gz}
              ${CMAKE_SOURCE_DIR}/packaging/debian/README.Debian
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zarncap)

# The user service that publishes the camera as a PipeWire node from login
# (not enabled by default: systemctl --user enable --now zarncap-pipewire.service).
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/zarncap-pipewire.service.in
               ${CMAKE_BINARY_DIR}/zarncap-pipewire.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zarncap-pipewire.service DESTINATION lib/systemd/user)
