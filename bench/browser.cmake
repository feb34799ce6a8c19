# Vennik: process start to the first completed local page, and memory,
# beside a bare QWebEngineView. Run build/bin/browser_startup.
if(TARGET vennik_lib)
  add_executable(browser_startup browser_startup.cpp)
  target_link_libraries(browser_startup PRIVATE vennik_lib)
endif()
