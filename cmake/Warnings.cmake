# Project-wide warning set; TRAWLIX_WERROR turns them into errors (CI does).
set(TRAWLIX_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Woverloaded-virtual)
set(TRAWLIX_CXX_ONLY_WARNINGS -Wold-style-cast)
if(TRAWLIX_WERROR)
    list(APPEND TRAWLIX_WARNINGS -Werror)
endif()

# Applies the warning set and Qt hygiene defines to one of our own targets.
function(trawlix_target_defaults target)
    target_compile_options(${target} PRIVATE ${TRAWLIX_WARNINGS}
        $<$<COMPILE_LANGUAGE:CXX>:${TRAWLIX_CXX_ONLY_WARNINGS}>)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_URL_CAST_FROM_STRING QT_NO_FOREACH QT_STRICT_ITERATORS)
endfunction()
