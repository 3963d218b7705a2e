# Installation in two components:
#   library  the library, public headers, CMake package and pkg-config file
#   tools    the airvane command, the simulated world's modules beside it, the example world
# (cmake --install <build> --component library|tools; without --component, both).
include(CMakePackageConfigHelpers)
include(AirvanePkgConfig)

install(TARGETS airvane EXPORT AirvaneTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY airvane/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/airvane COMPONENT library
    FILES_MATCHING PATTERN "*.h"
    PATTERN "posix" EXCLUDE
    PATTERN "win32" EXCLUDE
    # Each subsystem keeps the headers only the library (and its tests) see in internal/.
    PATTERN "internal" EXCLUDE)

install(EXPORT AirvaneTargets
    NAMESPACE Airvane::
    COMPONENT library
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
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Airvane COMPONENT library)

# The library's link name: Airvane.dll's import library on Windows, libairvane elsewhere.
get_target_property(AIRVANE_LINK_NAME airvane OUTPUT_NAME)
if(NOT AIRVANE_LINK_NAME)
    set(AIRVANE_LINK_NAME airvane)
endif()
airvane_configure_pc("${PROJECT_BINARY_DIR}/airvane.pc"
    LIBDIR "${CMAKE_INSTALL_LIBDIR}" INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}"
    VERSION "${PROJECT_VERSION}" DESCRIPTION "${PROJECT_DESCRIPTION}" LINKNAME "${AIRVANE_LINK_NAME}")
install(FILES "${PROJECT_BINARY_DIR}/airvane.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT library)

# The command loads modules named by bare file name from its own folder first, so it lives
# with the simulated modules in a private folder, and bin holds a link to it.
if(TARGET airvane_cli AND TARGET airvane_sim)
    set(_tools_dir "${CMAKE_INSTALL_LIBEXECDIR}/airvane")
    file(RELATIVE_PATH _to_libdir "/prefix/${_tools_dir}" "/prefix/${CMAKE_INSTALL_LIBDIR}")
    set_target_properties(airvane_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${_to_libdir}")
    install(TARGETS airvane_cli RUNTIME DESTINATION ${_tools_dir} COMPONENT tools)
    install(TARGETS airvane_sim_adapter airvane_sim_wpa_stub airvane_sim_wepplus
        LIBRARY DESTINATION ${_tools_dir} COMPONENT tools)
    file(RELATIVE_PATH _link_target "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${_tools_dir}/airvane")
    install(CODE "
        set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(MAKE_DIRECTORY \"\${_bin}\")
        file(CREATE_LINK \"${_link_target}\" \"\${_bin}/airvane\" SYMBOLIC)
        message(STATUS \"Installing: \${_bin}/airvane -> ${_link_target}\")"
        COMPONENT tools)
    install(FILES "${PROJECT_SOURCE_DIR}/examples/sim/WLANInterfaces.xml"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/airvane/examples/sim COMPONENT tools)
endif()
