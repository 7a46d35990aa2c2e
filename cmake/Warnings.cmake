# Strict warnings for the project's own targets (clean on moc and uic output).
function(xlt_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wold-style-cast)
  if(XLT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
