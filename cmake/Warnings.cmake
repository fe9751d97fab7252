# One place for the warning flags of every target of this project.
add_library(tw_warnings INTERFACE)
target_compile_options(tw_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Werror -Wno-missing-field-initializers>)
