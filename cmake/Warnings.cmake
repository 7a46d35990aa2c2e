# Strict warnings for the project's own targets (clean on moc and uic output).
function(xlt_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wold-style-cast)
  # GCC 12 reports overlapping copies that cannot happen in `"text" + std::string` once it is
  # inlined (GCC bug 105651); the MinGW-w64 build of it does so all over.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(XLT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
