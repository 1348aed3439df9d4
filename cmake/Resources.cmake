# Embedded resources of type "ZELTORES". Windows: a generated .rc compiled into the module. Linux: a generated
# source whose table registers itself at load time; it is added to the final target, never to a static library,
# so the linker cannot drop it. The loading movie is made at build time (tools/loading-movie).
set(ZELTO_LOADING_MOVIE "${CMAKE_BINARY_DIR}/generated/loading.swf")
set(ZELTO_RESOURCE_FILES "${ZELTO_LOADING_MOVIE}")
set(ZELTO_RESOURCE_NAMES "LOADING.SWF")

function(zelto_embed_resources target)
    set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources")
    add_dependencies(${target} zelto_loading_movie)
    if(WIN32)
        set(text "")
        foreach(name file IN ZIP_LISTS ZELTO_RESOURCE_NAMES ZELTO_RESOURCE_FILES)
            string(APPEND text "${name} ZELTORES \"${file}\"\n")
        endforeach()
        file(WRITE "${generated}.rc" "${text}")
        target_sources(${target} PRIVATE "${generated}.rc")
        set_source_files_properties("${generated}.rc" PROPERTIES OBJECT_DEPENDS "${ZELTO_RESOURCE_FILES}")
    else()
        add_custom_command(
            OUTPUT "${generated}.cpp"
            COMMAND ${CMAKE_COMMAND} "-DOUTPUT=${generated}.cpp" "-DNAMES=${ZELTO_RESOURCE_NAMES}"
                    "-DFILES=${ZELTO_RESOURCE_FILES}" -P "${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake"
            DEPENDS ${ZELTO_RESOURCE_FILES} "${CMAKE_SOURCE_DIR}/cmake/EmbedResources.cmake"
            COMMENT "Embedding resources into ${target}"
            # The name and file lists reach the script whole, semicolons and all.
            VERBATIM)
        target_sources(${target} PRIVATE "${generated}.cpp")
    endif()
endfunction()
