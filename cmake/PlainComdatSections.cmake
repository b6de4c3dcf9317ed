# Turns the COMDAT ("link once") sections of a COFF object into plain
# sections, in place:
#   cmake -DOBJDUMP=... -DOBJCOPY=... -DOBJECT=file.o -P PlainComdatSections.cmake
# The Windows static library is one object whose symbols are local but for
# the public names. A final link keeps one copy of each COMDAT section by its
# name and drops the others, and references to a local symbol of a dropped
# copy would point nowhere: the library's .refptr pointers (one per object
# that reads a variable) and its out-of-line inline functions. As plain
# sections every copy stays, each its references' own.
foreach(variable OBJDUMP OBJCOPY OBJECT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "PlainComdatSections.cmake needs -D${variable}=...")
  endif()
endforeach()
execute_process(COMMAND ${OBJDUMP} -h ${OBJECT} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${OBJECT}")
endif()
# objdump -h gives a section's name on one line and its flags on the next.
string(REGEX MATCHALL "[0-9]+ [^ \n]+ [^\n]*\n[^\n]*LINK_ONCE" comdats "${headers}")
set(arguments)
foreach(entry ${comdats})
  string(REGEX REPLACE "^[0-9]+ ([^ \n]+) .*" "\\1" name "${entry}")
  if(entry MATCHES "CODE")
    set(flags contents,alloc,load,readonly,code)
  elseif(entry MATCHES "READONLY")
    set(flags contents,alloc,load,readonly,data)
  elseif(entry MATCHES "CONTENTS")
    set(flags contents,alloc,load,data)
  else()
    set(flags alloc)
  endif()
  list(APPEND arguments --set-section-flags=${name}=${flags})
endforeach()
list(REMOVE_DUPLICATES arguments)
if(arguments)
  execute_process(COMMAND ${OBJCOPY} ${arguments} ${OBJECT} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJCOPY} cannot change the sections of ${OBJECT}")
  endif()
endif()
