# Install-time step of the agent component: writes the systemd unit with the paths of the
# installation being made (the prefix given to cmake --install, or the package's /usr).
#
# Set by the install(CODE) before it: TARVO_UNIT_TEMPLATE, TARVO_UNIT_STAGING, TARVO_SBINDIR,
# TARVO_SYSCONFDIR, TARVO_EXAMPLES_DIR, TARVO_UNIT_DIR (directories as GNUInstallDirs gives them:
# relative to the prefix, or absolute).

function(tarvo_installed_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

tarvo_installed_path(sbin "${TARVO_SBINDIR}")
set(TARVO_AGENT_EXE "${sbin}/TarvoMonitorAgent")

# The configuration lives in /etc for a /usr installation, under the prefix otherwise.
if(IS_ABSOLUTE "${TARVO_SYSCONFDIR}")
  set(etc "${TARVO_SYSCONFDIR}")
elseif(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(etc "/etc")
else()
  set(etc "${CMAKE_INSTALL_PREFIX}/${TARVO_SYSCONFDIR}")
endif()
set(TARVO_AGENT_INI "${etc}/tarvo/TarvoMonitorAgent.ini")
tarvo_installed_path(TARVO_AGENT_EXAMPLES "${TARVO_EXAMPLES_DIR}")
tarvo_installed_path(unitdir "${TARVO_UNIT_DIR}")

# One staged copy per destination, so that two installations made at once do not mix.
string(MD5 key "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
set(staged "${TARVO_UNIT_STAGING}/${key}/tarvo-monitor-agent.service")
configure_file("${TARVO_UNIT_TEMPLATE}" "${staged}" @ONLY)
file(INSTALL DESTINATION "${unitdir}" TYPE FILE FILES "${staged}")
