# The binary interface of every library against the baseline committed in abi/:
#   coreio-abi-check     describes each library with abidw, requires that it exports nothing outside
#                        Calvora:: and CoreIo::, and fails on any change a caller built against the
#                        baseline would notice (additions pass)
#   coreio-abi-baseline  rewrites abi/ from this build (scripts/update-abi-baseline.sh drives it)
# Both need the libraries built with debug information (the initial cache cmake/AbiBuild.cmake).
find_program(COREIO_ABIDW abidw)
find_program(COREIO_ABIDIFF abidiff)
get_filename_component(COREIO_ABI_BASELINE_DIR "${CMAKE_CURRENT_LIST_DIR}/../abi" ABSOLUTE)
set(COREIO_ABI_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/CoreIoAbiCheck.cmake")

function(coreio_add_abi_targets name)
    foreach(mode check baseline)
        add_custom_target(coreio-abi-${mode}-${name}
            COMMAND ${CMAKE_COMMAND} -DMODE=${mode} -DNAME=${name} "-DLIBRARY=$<TARGET_FILE:${name}>"
                    "-DBASELINE=${COREIO_ABI_BASELINE_DIR}/${name}.abi"
                    "-DDUMP=${PROJECT_BINARY_DIR}/abi/${name}.abi"
                    "-DABIDW=${COREIO_ABIDW}" "-DABIDIFF=${COREIO_ABIDIFF}" "-DNM=${CMAKE_NM}"
                    -P "${COREIO_ABI_SCRIPT}"
            COMMENT "ABI of ${name}: ${mode}"
            VERBATIM)
        add_dependencies(coreio-abi-${mode}-${name} ${name})
        if(NOT TARGET coreio-abi-${mode})
            add_custom_target(coreio-abi-${mode})
        endif()
        add_dependencies(coreio-abi-${mode} coreio-abi-${mode}-${name})
    endforeach()
endfunction()
