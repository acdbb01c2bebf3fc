include(CMakePackageConfigHelpers)

# Qt 5 installs the package Dorurizar; Qt 6 installs DorurizarQt6 beside it in
# the same prefix: its own library, headers, CMake package, pkg-config module
# and generator, so neither build overwrites a file of the other.
if(DORURIZAR_QT_MAJOR EQUAL 5)
    set(DORURIZAR_PACKAGE Dorurizar)
else()
    set(DORURIZAR_PACKAGE DorurizarQt${DORURIZAR_QT_MAJOR})
endif()
set(DORURIZAR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${DORURIZAR_PACKAGE})

install(TARGETS dorurizar tavosettings EXPORT DorurizarTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${DORURIZAR_INSTALL_INCLUDEDIR})
install(FILES ${DORURIZAR_PUBLIC_HEADERS} DESTINATION ${DORURIZAR_INSTALL_INCLUDEDIR}/dorurizar)
install(FILES platform/tavosettings/tavosettings.h DESTINATION ${DORURIZAR_INSTALL_INCLUDEDIR})
install(EXPORT DorurizarTargets NAMESPACE Dorurizar:: DESTINATION ${DORURIZAR_CMAKE_DIR}
    FILE ${DORURIZAR_PACKAGE}Targets.cmake)

configure_package_config_file(cmake/DorurizarConfig.cmake.in
    ${PROJECT_BINARY_DIR}/${DORURIZAR_PACKAGE}Config.cmake
    INSTALL_DESTINATION ${DORURIZAR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/${DORURIZAR_PACKAGE}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/${DORURIZAR_PACKAGE}Config.cmake
    ${PROJECT_BINARY_DIR}/${DORURIZAR_PACKAGE}ConfigVersion.cmake
    DESTINATION ${DORURIZAR_CMAKE_DIR})

list(TRANSFORM DORURIZAR_QT_COMPONENTS PREPEND ${QT} OUTPUT_VARIABLE DORURIZAR_PC_REQUIRES)
list(JOIN DORURIZAR_PC_REQUIRES " " DORURIZAR_PC_REQUIRES)
if(DORURIZAR_WITH_GL)
    string(APPEND DORURIZAR_PC_REQUIRES " gl")
endif()
if(DORURIZAR_WITH_SDL)
    string(APPEND DORURIZAR_PC_REQUIRES " sdl")
endif()
set(DORURIZAR_PC_CFLAGS "")
if(DORURIZAR_WITH_GL)
    string(APPEND DORURIZAR_PC_CFLAGS " -DDORURIZAR_HAS_GL")
endif()
if(DORURIZAR_WITH_SDL)
    string(APPEND DORURIZAR_PC_CFLAGS " -DDORURIZAR_HAS_SDL")
endif()
configure_file(cmake/dorurizar.pc.in ${PROJECT_BINARY_DIR}/dorurizar${DORURIZAR_SUFFIX}.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dorurizar${DORURIZAR_SUFFIX}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
