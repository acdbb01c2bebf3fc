include(CMakePackageConfigHelpers)

set(DORURIZAR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Dorurizar)

install(TARGETS dorurizar tavosettings EXPORT DorurizarTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${DORURIZAR_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dorurizar)
install(FILES platform/tavosettings/tavosettings.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT DorurizarTargets NAMESPACE Dorurizar:: DESTINATION ${DORURIZAR_CMAKE_DIR})

configure_package_config_file(cmake/DorurizarConfig.cmake.in
    ${PROJECT_BINARY_DIR}/DorurizarConfig.cmake
    INSTALL_DESTINATION ${DORURIZAR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/DorurizarConfigVersion.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/DorurizarConfig.cmake
    ${PROJECT_BINARY_DIR}/DorurizarConfigVersion.cmake
    DESTINATION ${DORURIZAR_CMAKE_DIR})

set(DORURIZAR_PC_REQUIRES "Qt5Core Qt5Gui Qt5Widgets Qt5OpenGL")
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
configure_file(cmake/dorurizar.pc.in ${PROJECT_BINARY_DIR}/dorurizar.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dorurizar.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
