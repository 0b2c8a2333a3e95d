# Install-time step of the agent and console components: writes the files that name the paths
# of the installation being made (the prefix given to cmake --install, or the package's /usr)
# and puts the settings, units and system snippets where a system keeps them.
#
# Set by the install(CODE) before it (directories relative to the prefix, or absolute):
#   TARVO_TEMPLATES   list of "template|kind|name": kind is unit (the systemd unit directory),
#                     etc (<etc>/tarvo), logrotate (<etc>/logrotate.d), sysusers, tmpfiles
#                     (<prefix>/lib/sysusers.d, tmpfiles.d)
#   TARVO_STAGING     a build folder for the written copies
#   TARVO_BINDIR, TARVO_SBINDIR, TARVO_EXAMPLES_DIR, TARVO_UNIT_DIR
#
# Where settings live: /etc for the prefix /usr, and likewise the etc/ beside any prefix that
# ends in /usr (a scratch root's <root>/usr); <prefix>/etc otherwise (/usr/local/etc).
# TarvoMonitorAgent and TarvoMonitor find their default settings by the same rule.

function(tarvo_installed_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(etcdir "/etc")
elseif(prefix MATCHES "^(.*)/usr$")
  set(etcdir "${CMAKE_MATCH_1}/etc")
else()
  set(etcdir "${prefix}/etc")
endif()
tarvo_installed_path(bin "${TARVO_BINDIR}")
tarvo_installed_path(sbin "${TARVO_SBINDIR}")
set(TARVO_AGENT_EXE "${sbin}/TarvoMonitorAgent")
set(TARVO_CONSOLE_EXE "${bin}/TarvoMonitor")
set(TARVO_ETC "${etcdir}")
set(TARVO_AGENT_INI "${etcdir}/tarvo/TarvoMonitorAgent.ini")
set(TARVO_CONSOLE_INI "${etcdir}/tarvo/TarvoMonitor.ini")
tarvo_installed_path(TARVO_AGENT_EXAMPLES "${TARVO_EXAMPLES_DIR}")
tarvo_installed_path(unitdir "${TARVO_UNIT_DIR}")

# One staged copy per destination, so that two installations made at once do not mix.
string(MD5 key "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
foreach(entry IN LISTS TARVO_TEMPLATES)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 template)
  list(GET parts 1 kind)
  list(GET parts 2 name)
  if(kind STREQUAL "unit")
    set(destination "${unitdir}")
  elseif(kind STREQUAL "etc")
    set(destination "${etcdir}/tarvo")
  elseif(kind STREQUAL "logrotate")
    set(destination "${etcdir}/logrotate.d")
  elseif(kind STREQUAL "sysusers" OR kind STREQUAL "tmpfiles")
    set(destination "${prefix}/lib/${kind}.d")
  else()
    message(FATAL_ERROR "unknown kind ${kind} of ${template}")
  endif()
  set(staged "${TARVO_STAGING}/${key}/${name}")
  if(template MATCHES "\\.in$")
    configure_file("${template}" "${staged}" @ONLY)
  else()
    configure_file("${template}" "${staged}" COPYONLY)
  endif()
  file(INSTALL DESTINATION "${destination}" TYPE FILE FILES "${staged}")
endforeach()
