# Writes the library's exported names, read from the declarations of its
# public headers: clang parses each header as C and dumps its syntax tree as
# JSON, and the functions and variables declared in the header itself (not
# in a header it includes, and neither static nor inline) are the names.
# The headers are read as a program that links the Windows DLL reads them, so
# a variable declared without TMAP_DATA, which such a program could not
# reach, fails here on every system. One list, in the three forms the
# linkers take:
#   public-names.txt    one name a line (objcopy --keep-global-symbols)
#   public-names.map    the GNU ld version script of the shared library
#   public-names.def    the exports of the Windows DLL, variables as DATA
#
#   cmake -DCLANG=clang -DINCLUDE_DIR=include
#         -DOUTPUT_DIR=dir -DLIBRARY=tilvogl -P PublicNames.cmake
cmake_minimum_required(VERSION 3.20)
foreach(variable CLANG INCLUDE_DIR OUTPUT_DIR LIBRARY)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "PublicNames.cmake needs -D${variable}=...")
  endif()
endforeach()

# Every header under INCLUDE_DIR/tilvogl is public.
file(GLOB headers ${INCLUDE_DIR}/tilvogl/*.h)
list(SORT headers)
set(functions)
set(variables)
foreach(header ${headers})
  execute_process(
    COMMAND ${CLANG} --target=x86_64-w64-windows-gnu -DTILVOGL_DLL -ffreestanding -nostdlibinc -x c
            -std=c99 -fsyntax-only -I${INCLUDE_DIR} -Xclang -ast-dump=json ${header}
    OUTPUT_VARIABLE tree ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "clang cannot parse ${header}:\n${errors}")
  endif()
  string(JSON count LENGTH "${tree}" inner)
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last})
    string(JSON declaration GET "${tree}" inner ${index})
    string(JSON kind GET "${declaration}" kind)
    if(NOT kind MATCHES "^(FunctionDecl|VarDecl)$")
      continue()
    endif()
    # Declarations of an included header carry the place it was included from.
    string(JSON included ERROR_VARIABLE not_included GET "${declaration}" loc includedFrom)
    string(JSON storage ERROR_VARIABLE no_storage GET "${declaration}" storageClass)
    string(JSON inline ERROR_VARIABLE not_inline GET "${declaration}" inline)
    if(NOT not_included OR storage STREQUAL "static" OR inline)
      continue()
    endif()
    string(JSON name GET "${declaration}" name)
    if(kind STREQUAL "FunctionDecl")
      list(APPEND functions ${name})
      continue()
    endif()
    list(APPEND variables ${name})
    string(JSON attributes ERROR_VARIABLE no_attributes GET "${declaration}" inner)
    if(NOT attributes MATCHES "\"DLLImportAttr\"")
      message(FATAL_ERROR "${header}: ${name} is declared without TMAP_DATA, so a program that "
                          "links the Windows DLL cannot reach it")
    endif()
  endforeach()
endforeach()
if(NOT functions)
  message(FATAL_ERROR "no function declared in ${headers}")
endif()

set(names ${functions} ${variables})
list(REMOVE_DUPLICATES names)
list(SORT names)
list(REMOVE_DUPLICATES variables)

set(text "")
set(script "{\n  global:\n")
set(exports "LIBRARY ${LIBRARY}.dll\nEXPORTS\n")
foreach(name ${names})
  string(APPEND text "${name}\n")
  string(APPEND script "    ${name};\n")
  if(name IN_LIST variables)
    string(APPEND exports "  ${name} DATA\n")
  else()
    string(APPEND exports "  ${name}\n")
  endif()
endforeach()
string(APPEND script "  local:\n    *;\n};\n")

# Rewritten only when they change, so the links that read them do not rerun.
file(MAKE_DIRECTORY ${OUTPUT_DIR})
foreach(form txt:text map:script def:exports)
  string(REPLACE ":" ";" form ${form})
  list(GET form 0 extension)
  list(GET form 1 content)
  file(CONFIGURE OUTPUT ${OUTPUT_DIR}/public-names.${extension} CONTENT "${${content}}" @ONLY)
endforeach()
