# Windows resources of a program: the icon, made from resources/xlt.svg when the program is
# built (rsvg-convert renders each size, icotool packs them), and version information.
#   xlt_windows_resources(<target> "<file description>")
find_program(XLT_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(XLT_ICOTOOL icotool REQUIRED)

set(xlt_icon_svg ${PROJECT_SOURCE_DIR}/resources/xlt.svg)
set(xlt_icon ${PROJECT_BINARY_DIR}/generated/xlt.ico)
set(xlt_icon_pngs)
set(xlt_icon_args)
foreach(size 16 24 32 48 64 256)
  set(png ${PROJECT_BINARY_DIR}/generated/icon/xlt-${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/generated/icon
    COMMAND ${XLT_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${xlt_icon_svg}
    DEPENDS ${xlt_icon_svg} VERBATIM)
  list(APPEND xlt_icon_pngs ${png})
  # The largest is kept as PNG inside the icon (Windows Vista and later read it), not as a
  # bitmap 25 times its size.
  if(size EQUAL 256)
    list(APPEND xlt_icon_args --raw=${png})
  else()
    list(APPEND xlt_icon_args ${png})
  endif()
endforeach()
add_custom_command(OUTPUT ${xlt_icon}
  COMMAND ${XLT_ICOTOOL} --create --output=${xlt_icon} ${xlt_icon_args}
  DEPENDS ${xlt_icon_pngs} VERBATIM)
add_custom_target(xlt_icon DEPENDS ${xlt_icon})

function(xlt_windows_resources target description)
  set(xlt_rc_name ${target})
  set(xlt_rc_file ${target}.exe)
  set(xlt_rc_description ${description})
  set(xlt_rc_icon ${PROJECT_BINARY_DIR}/generated/xlt.ico)
  set(rc ${PROJECT_BINARY_DIR}/generated/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${xlt_rc_icon})
  add_dependencies(${target} xlt_icon)
endfunction()
