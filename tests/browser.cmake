# Vennik's suites. Their Chromium stays off the network (see
# browser-data/browsertest.h); pages come from a server on 127.0.0.1.
if(TARGET vennik_lib)
  tarbel_add_test(tst_browser_window SOURCES tst_browser_window.cpp browser-data/browsertest.h LIBS vennik_lib)
  tarbel_add_test(tst_browser_navigation SOURCES tst_browser_navigation.cpp browser-data/browsertest.h LIBS vennik_lib)
endif()
