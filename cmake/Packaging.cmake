# Manual pages, the package's documents, and the Debian package that scripts/package makes.
#
# The package comes from CPack's DEB generator, not from a debian/ folder built with
# dpkg-buildpackage: CPack packs this very build tree through the install rules above (no second
# compile, no source package, no clean step), computes the library dependencies with
# dpkg-shlibdeps (CPACK_DEBIAN_PACKAGE_SHLIBDEPS) and strips the binaries; what debhelper would
# add on top (compressed manual pages and changelog, the copyright file) is a few install rules
# here.

# Debian keeps manual pages and changelogs compressed, without a time stamp in the gzip header.
find_program(WAVELARK_GZIP gzip REQUIRED)
set(WAVELARK_COMPRESSED_DIR ${CMAKE_BINARY_DIR}/generated/compressed)
set(compressed_files)
foreach(source data/man/wavelark.1 data/man/wavelark-pack.1 data/debian/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${WAVELARK_COMPRESSED_DIR}/${name}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${WAVELARK_COMPRESSED_DIR}
    COMMAND sh -c "\"$0\" -9nc \"$1\" >\"$2\"" ${WAVELARK_GZIP} ${CMAKE_SOURCE_DIR}/${source} ${output}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND compressed_files ${output})
endforeach()
add_custom_target(compressed_documents ALL DEPENDS ${compressed_files})
install(FILES ${WAVELARK_COMPRESSED_DIR}/wavelark.1.gz ${WAVELARK_COMPRESSED_DIR}/wavelark-pack.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/wavelark)
install(FILES ${WAVELARK_COMPRESSED_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/wavelark)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wavelark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Wavelark developers")
set(CPACK_PACKAGE_CONTACT "The Wavelark developers <developers@wavelark.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Internet radio player in the notification area")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Wavelark plays Internet radio from the notification area. It starts silently
as an animated icon and plays the channel heard last, or a random one. Its
small skinned window offers a country list with each country's channels,
favourites, a volume slider and mute, and the vendor's pages.

It plays MP3, Ogg Vorbis, Opus, AAC and HLS streams through GStreamer, shows
stream titles in the tool tip and answers media keys through MPRIS. The
wavelark-pack tool turns station lists (a station directory's JSON, M3U, PLS,
XSPF) into a channel catalogue.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://wavelark.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the player loads at run time besides the libraries it links: GStreamer's sources, demuxers
# and decoders for MP3, Vorbis, Opus (base, good), AAC and HLS (bad); libsoup 2.4, which the
# player prefers over libsoup 3 (see README); Qt's X11 platform plugin; the dialogs' font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, libsoup2.4-1, qt6-qpa-plugins, fonts-liberation2")
# libav decodes the rare streams the other plugins cannot; the player admits it only then.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-libav")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Installed with the real prefix and DESTDIR, so the desktop entry names /usr/bin/wavelark and not
# CPack's staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
