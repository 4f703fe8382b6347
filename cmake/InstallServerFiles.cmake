# Run by `cmake --install` and cpack, not at configure time: the systemd unit names the
# installed program and configuration by absolute path, and those follow the prefix given
# at install time (cpack installs with the prefix /usr).
#
# In: QUILLON_TEMPLATES (packaging/), QUILLON_STAGE (a folder of the build tree),
#     QUILLON_BINDIR (relative to the prefix).

# Under the prefix /usr, configuration goes to /etc as the file system hierarchy wants;
# anywhere else it stays inside the prefix.
string(REGEX REPLACE "/+$" "" _Prefix "${CMAKE_INSTALL_PREFIX}")
if(_Prefix STREQUAL "/usr" OR _Prefix STREQUAL "")
  set(QUILLON_CONFIG_DIR /etc/quillon)
else()
  set(QUILLON_CONFIG_DIR ${_Prefix}/etc/quillon)
endif()
set(QUILLON_SERVER_CONFIG ${QUILLON_CONFIG_DIR}/quillon-server.conf)
set(QUILLON_SERVER_PROGRAM ${_Prefix}/${QUILLON_BINDIR}/quillon-server)

# One staging folder per prefix, so installs to different prefixes do not share files.
string(MD5 _Key "${_Prefix}")
set(_Stage ${QUILLON_STAGE}/${_Key})
configure_file(${QUILLON_TEMPLATES}/quillon-server.service.in ${_Stage}/quillon-server.service @ONLY)
configure_file(${QUILLON_TEMPLATES}/quillon-server.conf.in ${_Stage}/quillon-server.conf @ONLY)

file(INSTALL DESTINATION ${_Prefix}/lib/systemd/system TYPE FILE FILES ${_Stage}/quillon-server.service)
# An administrator's edited configuration is never overwritten.
if(EXISTS "$ENV{DESTDIR}${QUILLON_SERVER_CONFIG}")
  message(STATUS "Keeping: $ENV{DESTDIR}${QUILLON_SERVER_CONFIG}")
else()
  # Readable by the service's group only (the package's postinst sets the group): it may
  # hold a database password.
  file(INSTALL DESTINATION ${QUILLON_CONFIG_DIR} TYPE FILE FILES ${_Stage}/quillon-server.conf
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ)
endif()
