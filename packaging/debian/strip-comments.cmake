# Run by CPack on its staging folder before it makes the package: the
# programs, already stripped, also lose the compilers' .comment section,
# which nothing reads at run time (as Debian's own package builds do).
# (A source package has no programs: nothing to do.)
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_KORVANE_OBJCOPY}" --remove-section=.comment "${program}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CPACK_KORVANE_OBJCOPY} could not remove .comment from ${program}")
  endif()
endforeach()
