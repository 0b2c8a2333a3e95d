# Man pages made from the programs' --help and --version with help2man, installed gzipped
# with the program's component. Without help2man (a tree that builds no package) none is made.
find_program(TARVO_HELP2MAN help2man)
find_program(TARVO_GZIP gzip)

# tarvo_man_page(TARGET SECTION COMPONENT "one-line description")
function(tarvo_man_page target section component description)
  if(NOT TARVO_HELP2MAN OR NOT TARVO_GZIP OR TARVO_SANITIZE)
    return()
  endif()
  set(page "${CMAKE_BINARY_DIR}/man/${target}.${section}")
  add_custom_command(OUTPUT "${page}.gz"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/man"
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
            ${TARVO_HELP2MAN} --no-info --no-discard-stderr --locale=C.UTF-8 --section=${section}
            "--name=${description}" --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${TARVO_GZIP} -9nf "${page}"
    DEPENDS ${target}
    COMMENT "Man page ${target}(${section})"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS "${page}.gz")
  install(FILES "${page}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()
