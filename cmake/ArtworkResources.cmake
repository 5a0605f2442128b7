# Writes the resource script that links the editor's PNG files into a
# Windows module, as resources of type "PNG": ARTWORK/1x/bmpNNNNN.png is
# numbered NNNNN, ARTWORK/2x/bmpNNNNN.png NNNNN + 1000 and
# ARTWORK/1.5x/bmpNNNNN.png NNNNN + 2000 (the offsets are also in
# src/gui/win32/ResourceBitmaps.cpp).
# cmake -DARTWORK=folder -DOUTPUT=file.rc -P ArtworkResources.cmake
set(offset_1x 0)
set(offset_2x 1000)
set(offset_1.5x 2000)
set(text "// Written from ${ARTWORK} at build time; do not edit.\n")
foreach(folder 1x 2x 1.5x)
    file(GLOB files "${ARTWORK}/${folder}/bmp*.png")
    if(NOT files)
        message(FATAL_ERROR "No artwork in ${ARTWORK}/${folder}")
    endif()
    list(SORT files)
    foreach(f ${files})
        get_filename_component(name "${f}" NAME_WE)
        string(REGEX REPLACE "^bmp0*" "" id "${name}")
        math(EXPR id "${id} + ${offset_${folder}}")
        string(APPEND text "${id} PNG \"${f}\"\n")
    endforeach()
endforeach()
file(WRITE "${OUTPUT}.tmp" "${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
