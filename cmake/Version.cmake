# Makes the version and the install prefix known to the code through generated headers, so the
# core stays free of Qt and of hand-kept copies of either.

# "1.0.9" is shown as "1.00.0009": the minor number in two digits, the patch number in four.
function(vostrand_pad out value width)
    set(text "${value}")
    string(LENGTH "${text}" length)
    while(length LESS width)
        string(PREPEND text "0")
        math(EXPR length "${length} + 1")
    endwhile()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()
vostrand_pad(minor "${PROJECT_VERSION_MINOR}" 2)
vostrand_pad(revision "${PROJECT_VERSION_PATCH}" 4)
set(VOSTRAND_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${minor}.${revision}")

set(VOSTRAND_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/cmake/Version.h.in ${VOSTRAND_GENERATED_DIR}/Version.h @ONLY)
# Its own header, so that changing the prefix rebuilds only the language lookup.
configure_file(${CMAKE_SOURCE_DIR}/cmake/InstallPaths.h.in ${VOSTRAND_GENERATED_DIR}/InstallPaths.h
               @ONLY)
include_directories(${VOSTRAND_GENERATED_DIR})
