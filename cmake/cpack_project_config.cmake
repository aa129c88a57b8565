# Read by cpack before it packs: takes the time stamps of the package from
# the last commit, unless SOURCE_DATE_EPOCH is set already.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  find_program(KUVERTPFEIL_GIT git)
  if(KUVERTPFEIL_GIT)
    execute_process(COMMAND ${KUVERTPFEIL_GIT} -C ${CPACK_KUVERTPFEIL_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_status ERROR_QUIET)
    if(git_status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    endif()
  endif()
endif()
