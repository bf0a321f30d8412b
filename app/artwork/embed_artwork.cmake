# cmake -DDIR=<rendered pictures> -DNAMES=a.jpg|b.bmp|... -DOUTPUT=<file.cpp> -P embed_artwork.cmake
# Writes a C++ file holding every picture's bytes and artwork(name).
string(REPLACE "|" ";" _names "${NAMES}")
set(_arrays "")
set(_table "")
set(_index 0)
foreach(_name IN LISTS _names)
  file(READ "${DIR}/${_name}" _hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  # Break the array into lines of 32 bytes (160 characters).
  string(REGEX REPLACE "((0x..,){32})" "\\1\n  " _bytes "${_bytes}")
  string(APPEND _arrays "const unsigned char picture${_index}[] = {\n  ${_bytes}\n};\n\n")
  string(APPEND _table "    {\"${_name}\", picture${_index}, sizeof picture${_index}},\n")
  math(EXPR _index "${_index} + 1")
endforeach()

file(WRITE "${OUTPUT}.tmp" "// Generated from app/artwork/*.svg at build time; do not edit.
#include \"artwork.h\"

#include <cstddef>

namespace {

${_arrays}struct Entry {
    std::string_view name;
    const unsigned char* data;
    std::size_t size;
};

const Entry entries[] = {
${_table}};

}  // namespace

std::span<const unsigned char> artwork(std::string_view name) {
    for (const Entry& e : entries)
        if (e.name == name)
            return {e.data, e.size};
    return {};
}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
