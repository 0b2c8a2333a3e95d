# Debian packages made by CPack from the install components: tarvo-monitor (component
# "console") and tarvo-monitor-agent (component "agent"). Build them with `./run package`.

set(TARVO_DEB_MAINTAINER "TarvoMonitor maintainers <maintainers@tarvo-monitor.example.org>"
  CACHE STRING "Maintainer named in the Debian packages and their changelogs")
set(TARVO_PACKAGE_RELEASE 1)

set(CPACK_PACKAGE_NAME "tarvo-monitor")
set(CPACK_PACKAGE_VENDOR "Tarvo")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TARVO_DEB_MAINTAINER}")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)

# The unit names the installed executable, so the packages are installed with the real
# prefix (/usr) under DESTDIR rather than into a staging prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX "/usr")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

# One package per component; the components are listed so that nothing else slips in.
# The first line of a component's description is its package's synopsis.
set(CPACK_COMPONENTS_ALL console agent)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVO_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TARVO_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends are worked out from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_COMPONENT_CONSOLE_DISPLAY_NAME "TarvoMonitor console")
set(CPACK_COMPONENT_CONSOLE_DESCRIPTION
"operator's console watching order-submission hosts
TarvoMonitor connects to the monitoring agent of every order-submission host
of its list, polls them, shows hosts and PBUs in two tables, colours and
flashes what changed and beeps when a connection drops or a trading program
stops. The package also holds tarvo-wire, which decodes the console's protocol
into JSON lines and encodes it back, and a systemd unit that runs the console
without a window (journal, Prometheus metrics).")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME "tarvo-monitor")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SUGGESTS "tarvo-monitor-agent")

set(CPACK_COMPONENT_AGENT_DISPLAY_NAME "TarvoMonitor agent")
set(CPACK_COMPONENT_AGENT_DESCRIPTION
"monitoring agent of an order-submission host
TarvoMonitorAgent runs on each watched host: it answers the TarvoMonitor
console with the state of the order-submission programs, their PBUs and the
host's CPU, memory and disk use, and runs the console's troubleshooting checks.
Its systemd unit is enabled at installation and runs as the user tarvo with
the settings /etc/tarvo/TarvoMonitorAgent.ini, which admit no console until
one is named.")
set(CPACK_DEBIAN_AGENT_PACKAGE_NAME "tarvo-monitor-agent")
set(CPACK_DEBIAN_AGENT_PACKAGE_SECTION "admin")

# Maintainer scripts and conffiles (packaging/debian/<component>/), and in every package its
# copyright file and changelog where Debian keeps them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(TARVO_DEB_VERSION "${PROJECT_VERSION}-${TARVO_PACKAGE_RELEASE}")
foreach(component IN ITEMS console agent)
  string(TOUPPER ${component} upper)
  set(TARVO_DEB_PACKAGE "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  set(scripts "${CMAKE_SOURCE_DIR}/packaging/debian/${component}")
  set(CPACK_DEBIAN_${upper}_PACKAGE_CONTROL_EXTRA
    "${scripts}/conffiles;${scripts}/postinst;${scripts}/prerm;${scripts}/postrm")
  set(doc "${CMAKE_BINARY_DIR}/packaging/${TARVO_DEB_PACKAGE}")
  configure_file(packaging/debian/changelog.in "${doc}/changelog.Debian" @ONLY)
  execute_process(COMMAND gzip -9nc "${doc}/changelog.Debian"
    OUTPUT_FILE "${doc}/changelog.Debian.gz" COMMAND_ERROR_IS_FATAL ANY)
  install(FILES packaging/debian/copyright "${doc}/changelog.Debian.gz"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TARVO_DEB_PACKAGE} COMPONENT ${component})
endforeach()
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_AGENT_PACKAGE_DEPENDS "adduser")

include(CPack)
