# The zip reader: minizip (unzip, ioapi, iowin32) from Debian's zlib source
# package, unpacked into third_party/ by scripts/bootstrap, built here with the
# cross compiler and linked with Debian's mingw zlib.
set(TARVOLIN_MINIZIP_DIR "${CMAKE_SOURCE_DIR}/third_party/zlib/contrib/minizip"
    CACHE PATH "minizip sources (zlib's contrib/minizip)")
if(NOT EXISTS "${TARVOLIN_MINIZIP_DIR}/unzip.c")
  message(FATAL_ERROR "minizip sources not found in ${TARVOLIN_MINIZIP_DIR}: run scripts/bootstrap first.")
endif()

find_library(TARVOLIN_ZLIB_STATIC NAMES libz.a REQUIRED)

# This zlib release switches decryption off unconditionally inside unzip.c; the
# packed settings need it, so build a copy without that switch. configure_file
# rewrites the copy only when it changes, so rebuilds stay incremental.
file(READ "${TARVOLIN_MINIZIP_DIR}/unzip.c" _minizip_unzip)
set(_minizip_no_decrypt "#ifndef NOUNCRYPT\n        #define NOUNCRYPT\n#endif")
string(FIND "${_minizip_unzip}" "${_minizip_no_decrypt}" _minizip_at)
if(_minizip_at EQUAL -1)
  message(FATAL_ERROR "unexpected unzip.c in ${TARVOLIN_MINIZIP_DIR}: the decryption switch was not found.")
endif()
string(REPLACE "${_minizip_no_decrypt}" "/* decryption enabled by the Tarvolin build */" _minizip_unzip "${_minizip_unzip}")
set(_minizip_gen "${CMAKE_BINARY_DIR}/generated/minizip")
file(WRITE "${_minizip_gen}/unzip.c.new" "${_minizip_unzip}")
configure_file("${_minizip_gen}/unzip.c.new" "${_minizip_gen}/unzip.c" COPYONLY)

add_library(minizip STATIC
  "${_minizip_gen}/unzip.c"
  "${TARVOLIN_MINIZIP_DIR}/ioapi.c"
  "${TARVOLIN_MINIZIP_DIR}/iowin32.c")
# Its headers are included by our code as system headers; its own sources are
# not ours to fix, so their warnings are silenced here only.
target_include_directories(minizip SYSTEM PUBLIC "${TARVOLIN_MINIZIP_DIR}")
target_compile_options(minizip PRIVATE -w)
target_link_libraries(minizip PUBLIC "${TARVOLIN_ZLIB_STATIC}")
