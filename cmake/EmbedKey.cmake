# Turns the 512-byte scrambling key file into a C++ initialiser list at configure time,
# refusing a file of the wrong size or whose substitution table is not a permutation.
function(korvex_embed_key key_file out_file)
  if(NOT EXISTS "${key_file}")
    message(FATAL_ERROR "Scrambling key file not found: ${key_file}\n"
                        "Set -DKORVEX_KEY_FILE=/path/to/key.bin (512 bytes).")
  endif()
  file(SIZE "${key_file}" key_size)
  if(NOT key_size EQUAL 512)
    message(FATAL_ERROR "Scrambling key file ${key_file} has ${key_size} bytes; it must have "
                        "exactly 512 (SubstTable 256, ShiftTable 29, MaskTable 227).")
  endif()
  file(READ "${key_file}" hex HEX)
  string(REGEX MATCHALL ".." bytes "${hex}")
  list(SUBLIST bytes 0 256 subst)
  list(REMOVE_DUPLICATES subst)
  list(LENGTH subst distinct)
  if(NOT distinct EQUAL 256)
    message(FATAL_ERROR "Scrambling key file ${key_file}: its first 256 bytes (SubstTable) must be "
                        "a permutation of 0..255, but only ${distinct} distinct values occur.")
  endif()
  list(TRANSFORM bytes PREPEND "0x")
  list(JOIN bytes "," body)
  file(CONFIGURE OUTPUT "${out_file}" CONTENT "// Generated from ${key_file}; do not edit.\n${body}\n")
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${key_file}")
endfunction()
