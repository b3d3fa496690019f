# Checks that the Win32 window's committed icon files are what the picture program draws now.
# Run as: cmake -DMAKE_ICONS=<korvex_make_icons> -DCOMMITTED=<src/win/res> -DWORK=<folder> -P
file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND "${MAKE_ICONS}" "${WORK}" RESULT_VARIABLE drawn)
if(NOT drawn EQUAL 0)
  message(FATAL_ERROR "korvex_make_icons failed: ${drawn}")
endif()
set(stale)
foreach(name korvex IA_open II_open IA_prog II_prog IA_test II_test IA_rest II_rest IA_stop II_stop)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK}/${name}.ico"
                          "${COMMITTED}/${name}.ico" RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    list(APPEND stale ${name}.ico)
  endif()
endforeach()
if(stale)
  message(FATAL_ERROR "Out of date in ${COMMITTED}: ${stale}. Redraw them with "
                      "'cmake --build build/default --target korvex_win_icons' and commit them.")
endif()
