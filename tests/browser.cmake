# Vennik's suites. Their Chromium stays off the network (see
# support/browsertest.h); pages come from a server on 127.0.0.1.
if(TARGET vennik_lib)
  tarbel_add_test(tst_browser_window SOURCES tst_browser_window.cpp support/browsertest.h LIBS vennik_lib)
  tarbel_add_test(tst_browser_navigation SOURCES tst_browser_navigation.cpp support/browsertest.h LIBS vennik_lib)
  tarbel_add_test(tst_browser_saving SOURCES tst_browser_saving.cpp support/browsertest.h LIBS vennik_lib)

  # End to end: the real program on a virtual X display, typed into and
  # clicked through XTest; screenshots land in the build folder. "refuse"
  # saves to a folder opened in the folder list and expects nothing written.
  find_package(X11)
  if(X11_FOUND)
    add_executable(browser_e2e_driver support/browser-e2e-driver.cpp)
    target_include_directories(browser_e2e_driver PRIVATE ${X11_INCLUDE_DIR})
    target_link_libraries(browser_e2e_driver PRIVATE Qt6::Gui Qt6::Network ${X11_LIBRARIES} ${CMAKE_DL_LIBS})
    set_target_properties(browser_e2e_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_dependencies(browser_e2e_driver vennik)
    foreach(mode navigate save refuse)
      add_test(NAME tst_browser_e2e_${mode}
               COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/support/browser-e2e.sh ${mode}
                       $<TARGET_FILE:browser_e2e_driver> $<TARGET_FILE:vennik> ${CMAKE_BINARY_DIR}/screenshots)
      set_tests_properties(tst_browser_e2e_${mode} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180 LABELS e2e)
    endforeach()
  endif()
endif()
