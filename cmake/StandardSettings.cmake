# One INTERFACE target carries warnings and sanitizers; every target links it.
add_library(cw_settings INTERFACE)
target_compile_features(cw_settings INTERFACE cxx_std_17)

option(CW_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
option(CW_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(cw_settings INTERFACE -Wall -Wextra -Wshadow)
  if(CW_WARNINGS_AS_ERRORS)
    target_compile_options(cw_settings INTERFACE -Werror)
  endif()
  if(CW_SANITIZE)
    target_compile_options(cw_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=undefined)
    target_link_options(cw_settings INTERFACE -fsanitize=address,undefined)
  endif()
endif()
