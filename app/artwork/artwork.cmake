# The window's pictures: SVG sources here, rendered at build time by the
# content builder and compiled into the program as artwork_data.cpp, which
# implements artwork.h.  Included from app/CMakeLists.txt; sets ARTWORK_SOURCES.

set(ARTWORK_NAMES
  banner.jpg strip.jpg button-small.jpg button-wide.jpg bar.jpg panel.jpg
  tile-a.bmp tile-b.bmp
  glyph-bt1.bmp glyph-bt2.bmp glyph-analysis.bmp
  glyph-prev.bmp glyph-next.bmp glyph-print.bmp glyph-back.bmp
  glyph-learn.bmp glyph-printstart.bmp glyph-printcancel.bmp)

set(_artwork_dir ${CMAKE_CURRENT_BINARY_DIR}/artwork)
set(_artwork_files)
foreach(_name IN LISTS ARTWORK_NAMES)
  get_filename_component(_stem ${_name} NAME_WE)
  set(_source ${CMAKE_CURRENT_LIST_DIR}/${_stem}.svg)
  add_custom_command(
    OUTPUT ${_artwork_dir}/${_name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_artwork_dir}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:contentbuilder> --render ${_source} ${_artwork_dir}/${_name}
    DEPENDS contentbuilder ${_source}
    COMMENT "Rendering artwork ${_name}"
    VERBATIM)
  list(APPEND _artwork_files ${_artwork_dir}/${_name})
endforeach()

# The names travel to the script joined by "|", as ";" would split the argument.
string(JOIN "|" _artwork_joined ${ARTWORK_NAMES})
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/artwork_data.cpp
  COMMAND ${CMAKE_COMMAND} -DDIR=${_artwork_dir} -DNAMES=${_artwork_joined}
          -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/artwork_data.cpp
          -P ${CMAKE_CURRENT_LIST_DIR}/embed_artwork.cmake
  DEPENDS ${_artwork_files} ${CMAKE_CURRENT_LIST_DIR}/embed_artwork.cmake
  COMMENT "Embedding the artwork"
  VERBATIM)

set(ARTWORK_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/artwork_data.cpp)
