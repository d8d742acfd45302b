include_guard(GLOBAL)
# calvex_windows_target(<bits> <prefix>): the MinGW-w64 target of a 32- or
# 64-bit Windows build: <prefix>_ARCH (i686, x86_64), <prefix>_TRIPLE
# (i686-w64-mingw32, ...) and <prefix>_PE_FORMAT (objdump's pei-i386, pei-x86-64).
function(calvex_windows_target bits prefix)
  if(bits EQUAL 32)
    set(arch i686)
    set(pe_format pei-i386)
  elseif(bits EQUAL 64)
    set(arch x86_64)
    set(pe_format pei-x86-64)
  else()
    message(FATAL_ERROR "calvex_windows_target: ${bits} is neither 32 nor 64")
  endif()
  set(${prefix}_ARCH ${arch} PARENT_SCOPE)
  set(${prefix}_TRIPLE ${arch}-w64-mingw32 PARENT_SCOPE)
  set(${prefix}_PE_FORMAT ${pe_format} PARENT_SCOPE)
endfunction()
