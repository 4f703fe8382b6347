# Installing: where `cmake --install` puts each part, by install component:
#
#   host    bin/quillon-host, the plug-in it loads, a desktop entry
#   server  bin/quillon-server, its systemd unit and configuration file
#   common  the host platform library both programs link, and orvpacket
#
# The private libraries (liborvhost.so, the plug-in) go to LIBDIR/quillon. The programs
# find them through an RPATH relative to their own folder, and the host its plug-in the
# same way (shell/PluginLibrary.cpp), so an installed tree still works when moved.
# Tests, benchmarks and fuzzers have no install rules.
include(GNUInstallDirs)

set(QUILLON_INSTALL_PKGLIBDIR ${CMAKE_INSTALL_LIBDIR}/quillon)
file(RELATIVE_PATH QUILLON_PKGLIBDIR_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBDIR}/quillon)

set_target_properties(orvhost PROPERTIES INSTALL_RPATH "")
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
endif()
