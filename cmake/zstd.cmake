# The patch decoder: zstd's decompressor (lib/common and lib/decompress) from
# Debian's libzstd source package, unpacked into third_party/ by
# scripts/bootstrap and built here with the cross compiler. Nothing of the
# compressor is needed on the reader's machine.
set(TARVOLIN_ZSTD_DIR "${CMAKE_SOURCE_DIR}/third_party/zstd/lib"
    CACHE PATH "zstd library sources (the lib/ folder of the zstd source package)")
if(NOT EXISTS "${TARVOLIN_ZSTD_DIR}/decompress/zstd_decompress.c")
  message(FATAL_ERROR "zstd sources not found in ${TARVOLIN_ZSTD_DIR}: run scripts/bootstrap first.")
endif()

add_library(zstd_decoder STATIC
  "${TARVOLIN_ZSTD_DIR}/common/debug.c"
  "${TARVOLIN_ZSTD_DIR}/common/entropy_common.c"
  "${TARVOLIN_ZSTD_DIR}/common/error_private.c"
  "${TARVOLIN_ZSTD_DIR}/common/fse_decompress.c"
  "${TARVOLIN_ZSTD_DIR}/common/xxhash.c"
  "${TARVOLIN_ZSTD_DIR}/common/zstd_common.c"
  "${TARVOLIN_ZSTD_DIR}/decompress/huf_decompress.c"
  "${TARVOLIN_ZSTD_DIR}/decompress/zstd_ddict.c"
  "${TARVOLIN_ZSTD_DIR}/decompress/zstd_decompress.c"
  "${TARVOLIN_ZSTD_DIR}/decompress/zstd_decompress_block.c")
# The assembly fast path is written for the System V calling convention and
# does not link for Windows; the C loops do the same work. No legacy formats:
# a patch is always made by the current tool.
target_compile_definitions(zstd_decoder PRIVATE ZSTD_DISABLE_ASM ZSTD_LEGACY_SUPPORT=0)
target_include_directories(zstd_decoder SYSTEM PUBLIC "${TARVOLIN_ZSTD_DIR}")
target_compile_options(zstd_decoder PRIVATE -w)
