if(TRAWLIX_SANITIZE)
    set(TRAWLIX_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${TRAWLIX_SAN_FLAGS})
    add_link_options(${TRAWLIX_SAN_FLAGS})
    # GCC's bounds warnings follow the sanitizer's instrumented paths past the size checks in
    # front of them (an empty QByteArray's one byte read as eight); the normal build keeps them.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-array-bounds)
    endif()

    # What the tests run with (CTest hands it to each test, which passes it on to the programs
    # it starts): stop at the first error, check for leaks at exit, and skip the third-party
    # leaks listed, with their reasons, in the suppressions file.
    set(TRAWLIX_SANITIZER_ENVIRONMENT
        "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1"
        "LSAN_OPTIONS=suppressions='${PROJECT_SOURCE_DIR}/tests/sanitizer/lsan.supp':print_suppressions=0"
        "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")

    # Every executable gets the dlclose() that keeps libraries loaded until the leak check.
    add_library(trawlix_keep_modules_loaded OBJECT ${PROJECT_SOURCE_DIR}/tests/sanitizer/KeepModulesLoaded.cpp)
    trawlix_target_defaults(trawlix_keep_modules_loaded)

    function(trawlix_keep_modules_loaded_in directory)
        get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "EXECUTABLE")
                target_sources(${target} PRIVATE $<TARGET_OBJECTS:trawlix_keep_modules_loaded>)
                # Export it even where no linked library names dlclose, so plugins find it too.
                target_link_options(${target} PRIVATE LINKER:--export-dynamic-symbol=dlclose)
            endif()
        endforeach()
        get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
        foreach(subdirectory IN LISTS subdirectories)
            trawlix_keep_modules_loaded_in(${subdirectory})
        endforeach()
    endfunction()
    # Runs once every CMakeLists.txt has added its targets.
    cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL trawlix_keep_modules_loaded_in ${PROJECT_SOURCE_DIR})
endif()
