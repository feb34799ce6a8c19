# The document format: reader, writer, round trips, hostile input, and
# interoperability with LibreOffice and AbiWord.
tarbel_add_test(tst_rtf SOURCES tst_rtf.cpp support/rtfdescribe.cpp LIBS rtfdoc)
tarbel_add_test(tst_rtf_interop SOURCES tst_rtf_interop.cpp support/rtfdescribe.cpp LIBS rtfdoc TIMEOUT 600)
