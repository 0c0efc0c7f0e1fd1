# Writes the desktop entry for a program installed at PROGRAM, from TEMPLATE to OUTPUT.
# Included at configure time (the entry the tests validate) and at install time (the entry
# for the prefix actually installed to), so both follow the same quoting rules.
#
# A desktop entry's Exec value is unescaped twice: first as a string (\\ is one backslash),
# then as a command line (a quoted argument escapes " ` $ and \ with a backslash); a literal
# percent sign is written %%. Path is a plain string.
#
# With ON_PATH (a system program, in a folder on PATH) the entry runs the program by its bare
# name and names no working folder, as the desktop's own programs do.

set(program "${PROGRAM}")
cmake_path(ABSOLUTE_PATH program NORMALIZE)
cmake_path(GET program PARENT_PATH folder)
if(program MATCHES "[\n\r]")
  message(FATAL_ERROR "A desktop entry cannot name a program whose path holds a line break: ${program}")
endif()

if(ON_PATH)
  cmake_path(GET program FILENAME LUMIVERT_DESKTOP_EXEC)
  file(READ "${TEMPLATE}" entry)
  string(REGEX REPLACE "\nPath=[^\n]*" "" entry "${entry}")
  string(CONFIGURE "${entry}" entry @ONLY)
  file(WRITE "${OUTPUT}" "${entry}")
  return()
endif()

set(exec "${program}")
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[ \t\"'\\<>~|&;$*?#()`]")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "\"" "\\\"" exec "${exec}")
  string(REPLACE "`" "\\`" exec "${exec}")
  string(REPLACE "$" "\\$" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" LUMIVERT_DESKTOP_EXEC "${exec}")
string(REPLACE "\\" "\\\\" LUMIVERT_DESKTOP_PATH "${folder}")

configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
