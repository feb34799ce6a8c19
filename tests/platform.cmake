tarbel_add_test(tst_platform SOURCES tst_platform.cpp LIBS platform_richtext SANITIZED)
