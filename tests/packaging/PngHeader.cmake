# check_png_icon(<file> <size> <errors-var>): appends to <errors-var> what is wrong
# with <file> as a <size> x <size> icon: not a PNG, another size, or no alpha channel.
# Reads the signature and the IHDR chunk, which the PNG format puts first.
function(check_png_icon file size errors_var)
  set(errors ${${errors_var}})
  if(NOT EXISTS "${file}")
    list(APPEND errors "missing: ${file}")
    set(${errors_var} "${errors}" PARENT_SCOPE)
    return()
  endif()
  file(READ "${file}" head HEX LIMIT 26)
  string(SUBSTRING "${head}" 0 32 magic)   # signature, IHDR length, "IHDR"
  if(NOT magic STREQUAL "89504e470d0a1a0a0000000d49484452")
    list(APPEND errors "not a PNG with its IHDR first: ${file}")
  else()
    string(SUBSTRING "${head}" 32 8 width_hex)
    string(SUBSTRING "${head}" 40 8 height_hex)
    string(SUBSTRING "${head}" 50 2 colour_hex)
    math(EXPR width "0x${width_hex}")
    math(EXPR height "0x${height_hex}")
    math(EXPR colour "0x${colour_hex}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
      list(APPEND errors "${file} is ${width}x${height}, not ${size}x${size}")
    endif()
    # Colour types 4 and 6 carry alpha; an icon without it shows a box on dark panels.
    if(NOT colour EQUAL 4 AND NOT colour EQUAL 6)
      list(APPEND errors "${file} has no alpha channel (PNG colour type ${colour})")
    endif()
  endif()
  set(${errors_var} "${errors}" PARENT_SCOPE)
endfunction()

set(QUELMAR_ICON_SIZES 16 24 32 48 64 128 256)
