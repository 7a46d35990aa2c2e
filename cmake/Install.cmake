# Installation (cmake --install) and the Debian package (cpack -G DEB).
#
# Layout under the prefix (GNUInstallDirs): the three programs in bin; the icon in the hicolor
# theme; the desktop entry, the AppStream metainfo, the man pages and xltctl's bash completion
# under share; the udev rule under XLT_UDEV_RULES_DIR (relative to the prefix, as udev reads it
# when the prefix is /usr).
include(GNUInstallDirs)

set(XLT_APP_ID "com.xeltan.XLT")
set(XLT_RELEASE_DATE "2026-12-06" CACHE STRING "Release date in the AppStream metainfo")
set(XLT_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule goes, relative to the install prefix")

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
configure_file(${_pkg}/${XLT_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/packaging/${XLT_APP_ID}.metainfo.xml @ONLY)

install(TARGETS xlt xltctl xlt-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/xlt.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${XLT_APP_ID}.svg)
install(FILES ${_pkg}/${XLT_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${XLT_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_pkg}/man/xlt.1 ${_pkg}/man/xltctl.1 ${_pkg}/man/xlt-sim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_pkg}/xltctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME xltctl)
install(FILES ${_pkg}/70-xlt.rules DESTINATION ${XLT_UDEV_RULES_DIR})

# The Debian package: installs under /usr; the libraries it needs come from dpkg-shlibdeps,
# the Qt plugins that are loaded at run time (the platform plugins, the SVG icon engine) are
# named here.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "xlt")
set(CPACK_PACKAGE_VENDOR "Xeltan")
set(CPACK_PACKAGE_CONTACT "XLT developers <xlt@xeltan.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the Xeltan protocol convertor")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "XLT watches and logs the traffic that the Xeltan protocol convertor relays between a host\n"
    "(ID003) and a banknote validator (SSP), reads, edits, detects and writes its PR01\n"
    "configuration, replaces its firmware and sets its host drive option. The package holds\n"
    "the desktop program xlt, the command-line tool xltctl and the device emulator xlt-sim.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, libqt6charts6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
