# Writes the bash completion OUTPUT from the template INPUT, with the option words that the
# program OPTION_WORDS prints from the option table in place of @CW_OPTION_WORDS@.
# Run as: cmake -DOPTION_WORDS=... -DINPUT=... -DOUTPUT=... -P fill_completion.cmake
execute_process(COMMAND ${OPTION_WORDS} OUTPUT_VARIABLE CW_OPTION_WORDS
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR CW_OPTION_WORDS STREQUAL "")
  message(FATAL_ERROR "${OPTION_WORDS} printed no option words (status ${status})")
endif()
configure_file(${INPUT} ${OUTPUT} @ONLY)
