// GBK (code page 936) byte strings: the program's own text type.
//
// Inside the program every text is a std::string of GBK bytes, because
// captions, statements and content are measured and cut by byte position
// (a Chinese character is two bytes).  Conversion happens only at the
// edges: the database stores UTF-8, Qt draws UTF-16, source literals are
// UTF-8 (use the _gbk literal).
#pragma once

#include "pupil_error.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace gbk {

// Its lead for the error box: a text holds characters the program cannot show.
struct EncodingError : ui::PupilError {
    explicit EncodingError(const std::string& detail) : ui::PupilError("文字数据有误，无法显示。", detail) {}
};

// UTF-8 -> GBK.  Throws EncodingError naming the first character that
// code page 936 cannot hold (emoji, U+2022, no-break space, ...).
std::string fromUtf8(std::string_view utf8);

// GBK -> UTF-8.  Throws EncodingError on bytes that are not GBK,
// including a lead byte cut off at the end.
std::string toUtf8(std::string_view gbkBytes);

// GBK -> UTF-8 for the screen, which never fails: a character cut off at
// the end (a lone lead byte) is left out, and any other byte that is not
// GBK shows as U+FFFD on its own, so the text around it stays readable.
std::string toUtf8Shown(std::string_view gbkBytes);

// True when the UTF-8 text is encodable in GBK; otherwise *offending (if
// given) receives the first character, in UTF-8, that is not.
bool encodable(std::string_view utf8, std::string* offending = nullptr);

// Byte helpers with 1-based positions, the way the program counts.
// pos: position of the first occurrence of needle, 0 when absent (an empty
// needle is never found).
std::size_t pos(std::string_view needle, std::string_view haystack);
// copy: count bytes from position index (1-based); an index below 1 counts
// from 1, an index past the end or a count below 1 gives "".
std::string copy(std::string_view s, long index, long count);
// trim*: drop bytes whose code is at most that of the space (0x20).
// GBK trail bytes are never that low, so this never splits a character.
std::string trim(std::string_view s);
std::string trimLeft(std::string_view s);
std::string trimRight(std::string_view s);

// Decimal text of an integer, no padding ("-1", "0", "3600").
std::string num(long long value);

}  // namespace gbk

// "开始作业"_gbk: the GBK bytes of a UTF-8 source literal.
std::string operator""_gbk(const char* utf8, std::size_t length);
