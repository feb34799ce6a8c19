# The document format: reader, writer, round trips, hostile input (also
# built with the sanitizers), and interoperability with LibreOffice and
# AbiWord.
tarbel_add_test(tst_rtf SOURCES tst_rtf.cpp support/rtfdescribe.cpp LIBS rtfdoc SANITIZED)
tarbel_add_test(tst_rtf_interop SOURCES tst_rtf_interop.cpp support/rtfdescribe.cpp LIBS rtfdoc TIMEOUT 600 LABEL interop
  ENV TARBEL_RTF_BENCH=$<TARGET_FILE:rtf_bench>)
