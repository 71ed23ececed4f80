# Warnings and sanitizers shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wconversion -Wshadow)
if(QUORVALE_WERROR)
  add_compile_options(-Werror)
endif()
if(QUORVALE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(QUORVALE_FUZZ)
  # Coverage instrumentation for every library the fuzzers link.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
