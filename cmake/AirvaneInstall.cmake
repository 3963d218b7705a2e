# Installation: library, public headers, CMake package and pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS airvane EXPORT AirvaneTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY airvane/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/airvane
    FILES_MATCHING PATTERN "*.h"
    PATTERN "posix" EXCLUDE
    PATTERN "win32" EXCLUDE
    # Internal helpers of the library, not part of its interface.
    PATTERN "XMLText.h" EXCLUDE
    PATTERN "XMLTagIndex.h" EXCLUDE
    PATTERN "SecureWipe.h" EXCLUDE
    PATTERN "UnloadHooks.h" EXCLUDE
    # Test support.
    PATTERN "FakeClock.h" EXCLUDE)

install(EXPORT AirvaneTargets
    NAMESPACE Airvane::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Airvane)

configure_package_config_file(
    "${PROJECT_SOURCE_DIR}/cmake/AirvaneConfig.cmake.in"
    "${PROJECT_BINARY_DIR}/AirvaneConfig.cmake"
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Airvane)
write_basic_package_version_file(
    "${PROJECT_BINARY_DIR}/AirvaneConfigVersion.cmake"
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
install(FILES
    "${PROJECT_BINARY_DIR}/AirvaneConfig.cmake"
    "${PROJECT_BINARY_DIR}/AirvaneConfigVersion.cmake"
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Airvane)

# The library's link name: Airvane.dll's import library on Windows, libairvane elsewhere.
get_target_property(AIRVANE_LINK_NAME airvane OUTPUT_NAME)
if(NOT AIRVANE_LINK_NAME)
    set(AIRVANE_LINK_NAME airvane)
endif()
configure_file("${PROJECT_SOURCE_DIR}/cmake/airvane.pc.in" "${PROJECT_BINARY_DIR}/airvane.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/airvane.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
