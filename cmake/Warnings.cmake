# Strict warnings for the project's own targets (clean on moc and uic output).
function(xlt_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wold-style-cast)
  # MinGW-w64's GCC 12 reports overlapping copies that cannot happen in `"text" + std::string`
  # once it is inlined (GCC bug 105651), all over. Only there: clang-tidy, which reads the
  # Linux build's flags, does not know the option.
  if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(XLT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
