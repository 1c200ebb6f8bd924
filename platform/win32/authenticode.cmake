# The Authenticode publisher check of the Win32 platform layer. Its system
# DLLs (wintrust, crypt32) are loaded on first use, never linked, so nothing
# is added to the libraries. Included by platform/CMakeLists.txt; the guard
# lets the tests' CMakeLists.txt include it as well.
include_guard(GLOBAL)
target_sources(tarn_platform_win32 PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Authenticode.cpp ${CMAKE_CURRENT_LIST_DIR}/Crypt32.cpp
                                           ${CMAKE_CURRENT_LIST_DIR}/TimeStamp.cpp)
