# Writes the bytes of the file INPUT into OUTPUT as C++ hexadecimal literals, comma
# separated, sixteen to a line: the body of an array initialiser, for #include.
#   cmake -DINPUT=<file> -DOUTPUT=<file> -P embed_bytes.cmake
if(NOT INPUT OR NOT OUTPUT)
  message(FATAL_ERROR "embed_bytes.cmake needs -DINPUT=<file> and -DOUTPUT=<file>")
endif()

file(READ "${INPUT}" hex HEX)
if(hex STREQUAL "")
  message(FATAL_ERROR "${INPUT} is empty: there are no bytes to embed")
endif()
string(REGEX REPLACE "(................................)" "\\1\n" lines "${hex}") # 16 bytes
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," literals "${lines}")
cmake_path(GET INPUT FILENAME name)
# Written beside the target and renamed over it, so an interrupted run leaves no half file.
file(WRITE "${OUTPUT}.part" "// The bytes of ${name}, generated at build time.\n${literals}\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
