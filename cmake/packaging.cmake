# Debian packages, made by CPack: `cmake --build build --target package`.
#
# Each build makes one package from its own programs: the PC build (amd64)
# the package kamnar with the daemon, overkal, unitkick, casy, kamnarstav,
# kamnarweb and kamnarmqtt, their manual pages, the service units, the log rotation rule,
# the configuration and the alerting rules; the ARM build (armhf) the package
# kamnar-board with the eight device clients and vlakna. The PC build also compiles the board's programs for its tests,
# but only the component of its own machine goes into its package. The
# simulators in tools/ have no install rule and are in no package.

set(KAMNAR_PACKAGE_PC kamnar)
set(KAMNAR_PACKAGE_BOARD kamnar-board)
set(KAMNAR_MAINTAINER "kamnar maintainers <maintainers@users.noreply.c-seed-a3377e3f.example>"
  CACHE STRING "Maintainer named in the packages")
# Where the packages install; the service unit names the daemon by this path.
set(KAMNAR_PACKAGE_PREFIX /usr)
set(KAMNAR_UNITDIR /lib/systemd/system)

add_subdirectory(packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kamnar)
set(CPACK_PACKAGE_VENDOR "kamnar")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KAMNAR_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${KAMNAR_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE kamnar)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KAMNAR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Maintainer scripts and conffiles get the modes dpkg expects (0755, 0644).
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(KAMNAR_BOARD_ONLY)
  set(CPACK_COMPONENTS_ALL board)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
  # dpkg-shlibdeps finds the board's libraries in the cross toolchain's tree
  # (where the compiler finds libc); packaging/cross-shlibdeps turns the cross
  # packages' names into the board's.
  set(KAMNAR_CROSS_ARCH ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libc.so.6
    OUTPUT_VARIABLE kamnar_libc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${kamnar_libc}")
    message(FATAL_ERROR "The cross compiler does not know where the board's libc is")
  endif()
  get_filename_component(kamnar_libc "${kamnar_libc}" REALPATH)
  get_filename_component(KAMNAR_CROSS_LIBDIR "${kamnar_libc}" DIRECTORY)
  set(KAMNAR_CROSS_SHLIBDEPS ${CMAKE_BINARY_DIR}/packaging/cross-shlibdeps)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/cross-shlibdeps.in ${KAMNAR_CROSS_SHLIBDEPS}
    @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/cpack-board.cmake)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/cpack-board.cmake.in
    ${CPACK_PROJECT_CONFIG_FILE} @ONLY)
else()
  set(CPACK_COMPONENTS_ALL pc)
endif()

set(CPACK_DEBIAN_PC_PACKAGE_NAME ${KAMNAR_PACKAGE_PC})
set(CPACK_DEBIAN_PC_DESCRIPTION "house heating control daemon and PC tools
kamnar looks after the heating modules of a house: microcontroller boards
on the house network. Every 10 seconds it sends each configured module the
current time over UDP, receives the modules' status datagrams, watches for
modules that fall silent, decodes their reset causes and clock agreement and
writes everything to its event log /var/log/kamnar.log.

The package holds the daemon with its systemd service unit, log rotation
rule and configuration /etc/kamnar/kamnar.conf, the calendar checker
overkal, the module reset tool unitkick, the local-time probe casy, the
table of the modules kamnarstav, and kamnarweb: a read-only web page of the
modules with its own service, enabled, on 127.0.0.1 port 8150. Alerting
rules for Prometheus are in /usr/share/kamnar. kamnarmqtt publishes the
daemon and the modules to an MQTT broker with Home Assistant's discovery;
its service is installed but not enabled.")
set(CPACK_DEBIAN_PC_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/conffiles
  ${PROJECT_SOURCE_DIR}/packaging/postinst
  ${PROJECT_SOURCE_DIR}/packaging/prerm
  ${PROJECT_SOURCE_DIR}/packaging/postrm)

set(CPACK_DEBIAN_BOARD_PACKAGE_NAME ${KAMNAR_PACKAGE_BOARD})
set(CPACK_DEBIAN_BOARD_DESCRIPTION "command-line clients of the house heating control board
Programs for the ARM board of the kamnar house heating control. Each of the
eight clients hands one command to the board's device server over its
socket /home/system/zarizeni/komsock: send an SMS (txtcell, txtany), send
the test SMS (txtprobe), pass a line to the GSM modem (modemline), write on
the display (lcdline), set the boiler value (boilertemp, boilervolt) and set
the device server's log level (loglevel). The device server itself is not
part of this package.

The package also holds vlakna, a demonstration of threads and raw keyboard
input.")

include(CPack)
