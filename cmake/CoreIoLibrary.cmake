# Shared helpers for the libraries of this project: every library is a SHARED target with hidden
# visibility, a version script, an ABI check, a generated export header and the two include forms its
# users rely on.
include(GenerateExportHeader)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
include(CoreIoAbi)

set(COREIO_INTERFACES_DIR "${CMAKE_CURRENT_LIST_DIR}/../Platform/Interfaces")
set(COREIO_EXPORT_DIR "${PROJECT_BINARY_DIR}/exports")
set(COREIO_LIBRARY_MAP_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/CoreIoLibrary.map.in")
set_property(GLOBAL PROPERTY COREIO_INSTALLED_TARGETS "")

function(coreio_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(COREIO_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Hidden visibility alone still exports the weak std:: template instances a library's code pulls in; the
# version script keeps them local and tags every export with a node named after the library.
function(coreio_export_only_own_namespaces name)
    set(COREIO_LIBRARY_NAME ${name})
    set(COREIO_LIBRARY_NODE ${name}_${PROJECT_VERSION_MAJOR})
    set(map "${COREIO_EXPORT_DIR}/${name}.map")
    configure_file("${COREIO_LIBRARY_MAP_TEMPLATE}" "${map}" @ONLY)
    target_link_options(${name} PRIVATE "LINKER:--version-script=${map}")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${map}")
endfunction()

# coreio_add_library(<name> SOURCES ... [PUBLIC_HEADERS ...] [INTERFACE_HEADER <file>]
#                    [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
function(coreio_add_library name)
    cmake_parse_arguments(ARG "" "INTERFACE_HEADER" "SOURCES;PUBLIC_HEADERS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES})
    string(TOUPPER "${name}_EXPORT" macro)
    generate_export_header(${name}
        EXPORT_MACRO_NAME ${macro}
        EXPORT_FILE_NAME "${COREIO_EXPORT_DIR}/${name}_export.h")
    set_target_properties(${name} PROPERTIES
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON
        POSITION_INDEPENDENT_CODE ON
        VERSION ${PROJECT_VERSION}
        SOVERSION ${PROJECT_VERSION_MAJOR}
        INSTALL_RPATH "$ORIGIN")  # installed side by side, the libraries find each other
    target_compile_options(${name} PRIVATE -fno-semantic-interposition)
    coreio_export_only_own_namespaces(${name})
    coreio_add_abi_targets(${name})
    target_include_directories(${name} PUBLIC
        "$<BUILD_INTERFACE:${COREIO_INTERFACES_DIR}>"
        "$<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>"
        "$<BUILD_INTERFACE:${COREIO_EXPORT_DIR}>"
        "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/CoreIoLoadUtilities>")
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    coreio_warnings(${name})
    add_library(CoreIo::${name} ALIAS ${name})

    install(TARGETS ${name} EXPORT CoreIoLoadUtilitiesTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
    set(headers "${COREIO_EXPORT_DIR}/${name}_export.h" ${ARG_PUBLIC_HEADERS})
    if(ARG_INTERFACE_HEADER)
        list(APPEND headers "${COREIO_INTERFACES_DIR}/${ARG_INTERFACE_HEADER}")
    endif()
    install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/CoreIoLoadUtilities)
endfunction()

function(coreio_install_package)
    set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/CoreIoLoadUtilities)
    install(EXPORT CoreIoLoadUtilitiesTargets NAMESPACE CoreIo:: DESTINATION ${cmake_dir})
    configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/CoreIoLoadUtilitiesConfig.cmake.in"
        "${PROJECT_BINARY_DIR}/CoreIoLoadUtilitiesConfig.cmake"
        INSTALL_DESTINATION ${cmake_dir})
    write_basic_package_version_file("${PROJECT_BINARY_DIR}/CoreIoLoadUtilitiesConfigVersion.cmake"
        COMPATIBILITY SameMajorVersion)
    install(FILES "${PROJECT_BINARY_DIR}/CoreIoLoadUtilitiesConfig.cmake"
                  "${PROJECT_BINARY_DIR}/CoreIoLoadUtilitiesConfigVersion.cmake"
            DESTINATION ${cmake_dir})
endfunction()
