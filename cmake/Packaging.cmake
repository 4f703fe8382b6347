# Installing and packaging: where `cmake --install` puts each part, and the Debian packages
# cpack makes of them (one per install component):
#
#   quillon-host    bin/quillon-host, the plug-in it loads, a desktop entry
#   quillon-server  bin/quillon-server, its systemd unit and configuration file, and the
#                   system user it runs as (made by the package's postinst)
#   quillon-common  the host platform library both programs link, and orvpacket
#
# Both programs link liborvhost.so, and two packages may not ship the same file, so that
# library has a package of its own which the other two depend on.
#
# The private libraries (liborvhost.so, the plug-in) go to LIBDIR/quillon. The programs
# find them through an RPATH relative to their own folder, and the host its plug-in the
# same way (shell/PluginLibrary.cpp), so an installed tree still works when moved.
# Tests, benchmarks and fuzzers have no install rules.
include(GNUInstallDirs)

# The components this build has: the host only where Qt is built.
set(QUILLON_COMPONENTS common)

set(QUILLON_INSTALL_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/quillon)
file(RELATIVE_PATH QUILLON_PKGLIBDIR_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/quillon)

set_target_properties(orvpacket PROPERTIES INSTALL_RPATH "$ORIGIN/${QUILLON_PKGLIBDIR_FROM_BIN}")
install(TARGETS orvhost LIBRARY DESTINATION ${QUILLON_INSTALL_PKGLIBDIR} COMPONENT common)
install(TARGETS orvpacket RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT common)

if(TARGET quillon-host AND TARGET quillon)
  set_target_properties(quillon-host PROPERTIES INSTALL_RPATH "$ORIGIN/${QUILLON_PKGLIBDIR_FROM_BIN}")
  # The plug-in finds liborvhost.so beside itself.
  set_target_properties(quillon PROPERTIES INSTALL_RPATH "$ORIGIN")
  target_compile_definitions(quillon_shell_core PRIVATE
                             QUILLON_PLUGIN_DIR_FROM_BIN="${QUILLON_PKGLIBDIR_FROM_BIN}")
  install(TARGETS quillon-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
  install(TARGETS quillon LIBRARY DESTINATION ${QUILLON_INSTALL_PKGLIBDIR} COMPONENT host)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quillon-host.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT host)
  list(APPEND QUILLON_COMPONENTS host)
endif()

if(TARGET quillon-server)
  set_target_properties(quillon-server PROPERTIES INSTALL_RPATH "$ORIGIN/${QUILLON_PKGLIBDIR_FROM_BIN}")
  install(TARGETS quillon-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
  # The unit and the configuration name absolute paths that depend on the prefix given at
  # install time, so they are written then.
  install(CODE "
    set(QUILLON_TEMPLATES \"${PROJECT_SOURCE_DIR}/packaging\")
    set(QUILLON_STAGE \"${CMAKE_BINARY_DIR}/packaging\")
    set(QUILLON_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/InstallServerFiles.cmake\")
  " COMPONENT server)
  list(APPEND QUILLON_COMPONENTS server)
endif()

# ---- Debian packages -----------------------------------------------------------------------

set(QUILLON_PACKAGE_MAINTAINER "Quillon maintainers <maintainers@quillon.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR Quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUILLON_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
# A package installs under /usr whatever prefix the build tree was configured with. Installing
# through DESTDIR keeps CMAKE_INSTALL_PREFIX at /usr while the install runs, which is what
# the unit and the configuration (InstallServerFiles.cmake) are written for.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${QUILLON_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# Dependencies on Debian's libraries come from dpkg-shlibdeps. liborvhost.so is found in the
# build tree: it belongs to no installed package, and the dependency on quillon-common says
# where it comes from.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_COMMON_PACKAGE_NAME quillon-common)
set(CPACK_COMPONENT_COMMON_DESCRIPTION
    "Quillon host platform library and packet tool
The host platform library that the Quillon desktop host, its commission plug-in and the
application server share, and orvpacket, a tool that checks and converts data packets.")

set(CPACK_DEBIAN_HOST_PACKAGE_NAME quillon-host)
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION x11)
set(CPACK_COMPONENT_HOST_DEPENDS common)
# The windows are in Chinese; the host prefers these faces when they are there.
set(CPACK_DEBIAN_HOST_PACKAGE_RECOMMENDS fonts-noto-cjk)
set(CPACK_COMPONENT_HOST_DESCRIPTION
    "Quillon desktop host with the commission windows
The Qt desktop host and the plug-in it loads: shift, quantity, amount and consignment
commissions of a retail chain, on a local SQLite file or a shared PostgreSQL database.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME quillon-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_COMPONENT_SERVER_DEPENDS common)
# postinst makes the service's system user.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/server/conffiles
    ${PROJECT_SOURCE_DIR}/packaging/server/postinst
    ${PROJECT_SOURCE_DIR}/packaging/server/prerm
    ${PROJECT_SOURCE_DIR}/packaging/server/postrm)
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "Quillon application server
Serves the commission business objects of one database (SQLite or PostgreSQL) over
HTTP(S) to desktop hosts whose users log in. Runs as the systemd service
quillon-server, configured in /etc/quillon/quillon-server.conf.")

include(CPack)
