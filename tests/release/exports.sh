#!/usr/bin/env bash
# A library defines exactly the public names: every function and variable
# that the public headers declare (NAMES, the list the build reads from the
# declarations) and nothing else: no test hooks, internal helpers or C++
# runtime symbols. A Windows DLL must also need no DLL but Windows' own and
# opengl32.dll, so that it runs without MinGW's runtime DLLs beside it.
#
#   exports.sh NAMES LIBRARY...   LIBRARY: libtilvogl.so, libtilvogl.a,
#                                 tilvogl.dll
#   NM=... OBJDUMP=... exports.sh  the tools of the libraries' toolchain
set -euo pipefail

names_file=${1:?usage: exports.sh NAMES LIBRARY...}
shift
nm=${NM:-nm}
objdump=${OBJDUMP:-objdump}
expected=$(sort -u "$names_file")
[[ -n "$expected" ]] || { echo "exports: $names_file names nothing"; exit 1; }
status=0

# The names in the export table of a DLL, one a line.
dll_exports() {
  "$objdump" -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p'
}

for library in "$@"; do
  case $library in
    *.dll) defined=$(dll_exports "$library" | sort -u) ;;
    *.so*) defined=$("$nm" -D --defined-only "$library" | awk 'NF == 3 { print $3 }' | sort -u) ;;
    *) defined=$("$nm" -g --defined-only "$library" | awk 'NF == 3 { print $3 }' | sort -u) ;;
  esac
  extra=$(comm -13 <(echo "$expected") <(echo "$defined"))
  missing=$(comm -23 <(echo "$expected") <(echo "$defined"))
  if [[ -n "$extra" ]]; then
    echo "FAIL: $library defines names the headers do not declare:"$'\n'"$extra"
    status=1
  fi
  if [[ -n "$missing" ]]; then
    echo "FAIL: $library lacks names the headers declare:"$'\n'"$missing"
    status=1
  fi
  [[ -n "$extra$missing" ]] || echo "$library: the $(wc -l <<<"$expected") public names, no others"

  if [[ $library == *.dll ]]; then
    needed=$("$objdump" -p "$library" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort -u)
    # Windows' own: the C runtime every Windows has, the kernel, and GL.
    foreign=$(grep -vxE 'kernel32\.dll|msvcrt\.dll|opengl32\.dll|user32\.dll|gdi32\.dll|api-ms-win-.*\.dll' \
              <<<"$needed" || true)
    if [[ -n "$foreign" ]]; then
      echo "FAIL: $library needs DLLs that Windows does not have:"$'\n'"$foreign"
      status=1
    else
      echo "$library needs only "$(echo $needed)
    fi
  fi
done
exit $status
