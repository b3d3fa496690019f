# Turns the starter-updater image file into a C++ initialiser list at configure time. The
# file holds ten images of 8448 bytes one after another (FLASH kinds 5 to 9; for each, the
# image for panel types other than 8, then the one for type 8). A file of another size is
# refused, and so is an image whose check fails: the 16-bit sum from 0x3ABC over its bytes
# 0..8191 must equal the value stored low byte first at its offset 8192.
function(korvex_embed_updaters image_file out_file)
  set(image_size 8448)
  set(image_count 10)
  set(checked_size 8192)
  math(EXPR total "${image_size} * ${image_count}")
  if(NOT EXISTS "${image_file}")
    message(FATAL_ERROR "Starter updater image file not found: ${image_file}\n"
                        "Set -DKORVEX_UPDATER_IMAGES=/path/to/updaters.bin "
                        "(${image_count} images of ${image_size} bytes).")
  endif()
  file(SIZE "${image_file}" file_size)
  if(NOT file_size EQUAL total)
    message(FATAL_ERROR "Starter updater image file ${image_file} has ${file_size} bytes; it "
                        "must have exactly ${total} (${image_count} images of ${image_size} "
                        "bytes: FLASH kinds 5, 6, 7, 8, 9, each for panel types other than 8 "
                        "and then for type 8).")
  endif()
  file(READ "${image_file}" hex HEX)

  set(bad_images "")
  math(EXPR last "${image_count} - 1")
  foreach(index RANGE 0 ${last})
    math(EXPR start "${index} * ${image_size} * 2")
    math(EXPR body_length "${checked_size} * 2")
    string(SUBSTRING "${hex}" ${start} ${body_length} body)
    string(REGEX MATCHALL ".." body_bytes "${body}")
    set(sum 15036) # 0x3ABC
    foreach(b IN LISTS body_bytes)
      math(EXPR sum "(${sum} + 0x${b}) & 0xFFFF")
    endforeach()
    math(EXPR stored_at "${start} + ${body_length}")
    string(SUBSTRING "${hex}" ${stored_at} 2 low)
    math(EXPR stored_at "${stored_at} + 2")
    string(SUBSTRING "${hex}" ${stored_at} 2 high)
    math(EXPR stored "0x${high}${low}")
    if(NOT sum EQUAL stored)
      math(EXPR kind "5 + ${index} / 2")
      math(EXPR family "${index} % 2")
      if(family)
        set(family "panel type 8")
      else()
        set(family "panel types other than 8")
      endif()
      math(EXPR sum_hex "${sum}" OUTPUT_FORMAT HEXADECIMAL)
      math(EXPR stored_hex "${stored}" OUTPUT_FORMAT HEXADECIMAL)
      string(APPEND bad_images "\n  image ${index} (FLASH kind ${kind}, ${family}): "
                               "check ${sum_hex}, stored ${stored_hex}")
    endif()
  endforeach()
  if(bad_images)
    message(FATAL_ERROR "Starter updater image file ${image_file}: these images fail their "
                        "check (16-bit sum from 0x3ABC over bytes 0..8191 against the value "
                        "at offset 8192, low byte first):${bad_images}")
  endif()

  string(REGEX MATCHALL ".." bytes "${hex}")
  list(TRANSFORM bytes PREPEND "0x")
  list(JOIN bytes "," body)
  file(CONFIGURE OUTPUT "${out_file}" CONTENT "// Generated from ${image_file}; do not edit.\n${body}\n")
  if(NOT CMAKE_SCRIPT_MODE_FILE) # also usable from cmake -P, where there is no project
    set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 "${image_file}")
  endif()
endfunction()
