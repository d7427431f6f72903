# 64-bit Windows: a test build only, for machines whose kernel runs no 32-bit programs (Wine runs
# 32-bit Windows programs as 32-bit Linux processes). Never installed, packaged or released.
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
