# Writes OUT, a header naming this build: ID when given (a distribution's
# own build), else the commit it was made from (git describe), else
# "unknown". Rewritten only when the name changes, so nothing rebuilds for it.
if(NOT ID)
  execute_process(COMMAND git -C ${SRC} describe --always --dirty --abbrev=10
    OUTPUT_VARIABLE ID OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(failed OR NOT ID)
    set(ID unknown)
  endif()
endif()
set(text "// Made by app/build_id.cmake.\n#define OMBRIX_BUILD \"${ID}\"\n")
set(old "")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
