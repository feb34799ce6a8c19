# The Debian packages: built, held to lintian, unpacked, validated, and the
# editor started on a document.
add_test(NAME package_deb COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/package_deb.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_deb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS package)
