# Installs the desktop component under a temporary prefix, once directly and
# once staged with DESTDIR, and checks the installed desktop entry's Exec
# line names the program under that prefix.
file(REMOVE_RECURSE "${WORK_DIR}")
foreach(staged OFF ON)
  set(prefix "${WORK_DIR}/prefix-${staged}/usr")
  set(root "")
  set(env "")
  if(staged)
    set(root "${WORK_DIR}/stage")
    set(env "DESTDIR=${root}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env}
                          ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                          --component desktop
                  RESULT_VARIABLE installed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT installed EQUAL 0)
    message(FATAL_ERROR "install failed (DESTDIR ${staged}): ${out}")
  endif()
  set(entry "${root}${prefix}/share/applications/tamboro.desktop")
  if(NOT EXISTS "${entry}")
    message(FATAL_ERROR "no desktop entry at ${entry}")
  endif()
  if(NOT EXISTS "${root}${prefix}/share/mime/packages/tamboro.xml")
    message(FATAL_ERROR "no song type package under ${root}${prefix}")
  endif()
  file(STRINGS "${entry}" exec REGEX "^Exec=")
  string(FIND "${exec}" "Exec=\"${prefix}/bin/tamboro\"" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "DESTDIR ${staged}: '${exec}' does not start ${prefix}/bin/tamboro "
                        "(configured prefix ${CONFIGURED_PREFIX})")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
