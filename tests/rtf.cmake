# The document format: reader, writer, round trips, hostile input, and
# interoperability with LibreOffice and AbiWord.
tarbel_add_test(tst_rtf SOURCES tst_rtf.cpp support/rtfdescribe.cpp LIBS rtfdoc)
tarbel_add_test(tst_rtf_interop SOURCES tst_rtf_interop.cpp support/rtfdescribe.cpp LIBS rtfdoc TIMEOUT 600
  ENV TARBEL_RTF_BENCH=$<TARGET_FILE:rtf_bench>)

# The same suite under gcc's AddressSanitizer and UBSan, halting at the first
# report: only the RTF library and the suite, configured and built in a folder
# of their own (tests/rtf-sanitize), then run.
find_program(TARBEL_GXX g++)
find_program(TARBEL_CCACHE ccache)
if(TARBEL_GXX)
  set(launcher)
  if(TARBEL_CCACHE)
    set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${TARBEL_CCACHE})
  endif()
  add_test(NAME tst_rtf_sanitized COMMAND ${CMAKE_CTEST_COMMAND}
    --build-and-test ${CMAKE_CURRENT_SOURCE_DIR}/rtf-sanitize ${CMAKE_BINARY_DIR}/rtf-sanitize
    --build-generator ${CMAKE_GENERATOR} --build-makeprogram ${CMAKE_MAKE_PROGRAM} --build-noclean
    --build-options -DCMAKE_CXX_COMPILER=${TARBEL_GXX} ${launcher} -DTARBEL_SAMPLES_DIR=${TARBEL_SAMPLES_DIR}
    --test-command tst_rtf)
  set_tests_properties(tst_rtf_sanitized PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MAKEFLAGS=-j2;UBSAN_OPTIONS=print_stacktrace=1"
    PROCESSORS 2
    TIMEOUT 300)
endif()
