# cmake -DMODE=check|baseline -DNAME=<library> -DLIBRARY=<.so> -DBASELINE=<abi/NAME.abi> -DDUMP=<fresh .abi>
#       -DABIDW=<abidw> -DABIDIFF=<abidiff> -DNM=<nm> -P CoreIoAbiCheck.cmake
# baseline: writes the library's ABI description to BASELINE.
# check:    writes it to DUMP and compares it with BASELINE; fails on removed or changed symbols, changed
#           record layouts or virtual tables, and on exports outside the two product namespaces.
cmake_minimum_required(VERSION 3.20)

set(remedy "if the break is intended, raise the major version in the top-level CMakeLists.txt (it is the \
SONAME) and regenerate the baseline with scripts/update-abi-baseline.sh")

function(require_tool tool path package)
    if(NOT path OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${NAME}: ${tool} not found: install the Debian package ${package} "
                            "(scripts/install-deps.sh) and configure again")
    endif()
endfunction()

# abidw without paths of this checkout and with type ids hashed from the types, so that the same
# library gives the same file in every worktree and a baseline update diffs only what changed.
function(describe_abi out)
    get_filename_component(directory "${out}" DIRECTORY)
    file(MAKE_DIRECTORY "${directory}")
    execute_process(
        COMMAND "${ABIDW}" --short-locs --no-corpus-path --no-comp-dir-path --type-id-style hash
                --out-file "${out}" "${LIBRARY}"
        RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${NAME}: abidw could not describe ${LIBRARY} (exit ${status}):\n${errors}")
    endif()
    file(STRINGS "${out}" units REGEX "<abi-instr " LIMIT_COUNT 1)
    if(NOT units)
        message(FATAL_ERROR "${NAME}: ${LIBRARY} has no debug information, so its record layouts cannot "
                            "be compared: configure the build with -C cmake/AbiBuild.cmake")
    endif()
endfunction()

# Exceptions and dynamic_cast need the typeinfo and virtual tables of the product's classes; anything
# else outside the two namespaces is an instance of someone else's template that callers must not use.
function(require_own_namespaces)
    execute_process(COMMAND "${NM}" -D --defined-only --without-symbol-versions -C "${LIBRARY}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE table ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${NAME}: nm could not read ${LIBRARY}:\n${errors}")
    endif()
    set(prefixes "typeinfo for |typeinfo name for |vtable for |VTT for |guard variable for ")
    string(APPEND prefixes "|(non-)?virtual thunk to ")
    set(own "^(${prefixes})?(Calvora|CoreIo)::")
    string(REPLACE "\n" ";" lines "${table}")
    set(foreign "")
    foreach(line IN LISTS lines)
        # "address type name"; type A is the version node itself.
        if(line MATCHES "^[0-9a-f]+ ([A-Za-z]) (.*)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
            set(symbol "${CMAKE_MATCH_2}")
            if(NOT symbol MATCHES "${own}")
                string(APPEND foreign "\n  ${symbol}")
            endif()
        endif()
    endforeach()
    if(foreign)
        message(NOTICE "${NAME} exports:${foreign}")
        message(FATAL_ERROR "${NAME}: ${LIBRARY} exports the symbols above, outside Calvora:: and CoreIo::. "
                            "Move them into one of the namespaces or keep them out of the exports "
                            "(cmake/CoreIoLibrary.map.in).")
    endif()
endfunction()

function(compare_with_baseline)
    if(NOT EXISTS "${BASELINE}")
        message(FATAL_ERROR "${NAME}: no ABI baseline ${BASELINE}: a new library gets one from "
                            "scripts/update-abi-baseline.sh")
    endif()
    execute_process(COMMAND "${ABIDIFF}" "${BASELINE}" "${DUMP}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE errors)
    # abidiff's exit status is a bit set: 1 error, 2 usage error, 4 some ABI change, 8 incompatible change.
    if(status EQUAL 0)
        message(STATUS "${NAME}: ABI as in the baseline")
        return()
    endif()
    math(EXPR failed "${status} & 3")
    math(EXPR incompatible "${status} & 8")
    if(failed)
        message(NOTICE "${errors}${report}")
        message(FATAL_ERROR "${NAME}: abidiff could not compare ${BASELINE} with ${DUMP} (exit "
                            "${status}, its messages above)")
    endif()
    if(NOT incompatible)
        # A change that remains once added functions and variables are left out is not an addition.
        execute_process(COMMAND "${ABIDIFF}" --no-added-syms "${BASELINE}" "${DUMP}"
                        RESULT_VARIABLE withoutAdditions OUTPUT_QUIET ERROR_QUIET)
        if(withoutAdditions EQUAL 0)
            message(STATUS "${NAME}: ABI as in the baseline plus additions (record them with "
                           "scripts/update-abi-baseline.sh):\n${report}")
            return()
        endif()
    endif()
    message(NOTICE "${report}")
    message(FATAL_ERROR "${NAME}: the ABI differs from the baseline ${BASELINE} in a way that breaks "
                        "callers built against it (abidiff's report above). Restore what changed, or "
                        "${remedy}.")
endfunction()

require_tool(abidw "${ABIDW}" abigail-tools)
if(MODE STREQUAL "baseline")
    describe_abi("${BASELINE}")
    message(STATUS "${NAME}: baseline written to ${BASELINE}")
elseif(MODE STREQUAL "check")
    require_tool(abidiff "${ABIDIFF}" abigail-tools)
    require_tool(nm "${NM}" binutils)
    require_own_namespaces()
    describe_abi("${DUMP}")
    compare_with_baseline()
else()
    message(FATAL_ERROR "MODE must be check or baseline, not '${MODE}'")
endif()
