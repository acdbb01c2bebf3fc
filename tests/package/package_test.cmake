# Runs as `cmake -P`: install, then build and run the client both ways.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(header dorurizar.h uniimg.h uniscreen.h unipaintermarkup.h qtengine.h unifontmap.h dorurizar_export.h)
    if(NOT EXISTS ${prefix}/include/dorurizar/${header})
        message(FATAL_ERROR "not installed: include/dorurizar/${header}")
    endif()
endforeach()
file(GLOB sonames ${prefix}/lib/libdorurizar.so.1)
if(NOT sonames)
    message(FATAL_ERROR "not installed: lib/libdorurizar.so.1")
endif()

set(ENV{LD_LIBRARY_PATH} "${prefix}/lib:$ENV{LD_LIBRARY_PATH}")
set(ENV{QT_QPA_PLATFORM} offscreen)

# Through the CMake package.
run(${CMAKE_COMMAND} -S ${CLIENT_DIR} -B ${WORK_DIR}/cmake-client
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-client)
run(${WORK_DIR}/cmake-client/client)
if(NOT last_output MATCHES "client ok")
    message(FATAL_ERROR "CMake client printed: ${last_output}")
endif()

# Through pkg-config.
set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig:$ENV{PKG_CONFIG_PATH}")
execute_process(COMMAND pkg-config --cflags --libs dorurizar
    RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know dorurizar")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
run(${CXX} -std=c++17 ${extra} ${CLIENT_DIR}/client.cpp -o ${WORK_DIR}/pkgconfig-client ${flags})
run(${WORK_DIR}/pkgconfig-client)
if(NOT last_output MATCHES "client ok")
    message(FATAL_ERROR "pkg-config client printed: ${last_output}")
endif()
message(STATUS "both clients built and ran against ${prefix}")
