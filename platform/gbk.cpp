#include "gbk.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace gbk {
namespace {

// One iconv descriptor per direction and thread, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw EncodingError(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of in; on failure returns false, sets badOffset to the
    // input offset where conversion stopped and leaves in out what was
    // converted before it.
    bool run(std::string_view in, std::string& out, std::size_t& badOffset) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        out.assign(in.size() * 2 + 8, '\0');
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = out.data();
        std::size_t dstLeft = out.size();
        while (srcLeft > 0) {
            if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1))
                continue;
            if (errno == E2BIG) {
                std::size_t used = out.size() - dstLeft;
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = out.size() - used;
                continue;
            }
            badOffset = in.size() - srcLeft;
            out.resize(out.size() - dstLeft);
            return false;
        }
        out.resize(out.size() - dstLeft);
        return true;
    }

private:
    iconv_t cd_;
};

Converter& toGbk() {
    thread_local Converter c("CP936", "UTF-8");
    return c;
}

Converter& fromGbk() {
    thread_local Converter c("UTF-8", "CP936");
    return c;
}

// The UTF-8 character starting at offset (or the rest when malformed).
std::string utf8CharAt(std::string_view s, std::size_t offset) {
    if (offset >= s.size()) return {};
    unsigned char lead = static_cast<unsigned char>(s[offset]);
    std::size_t len = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    return std::string(s.substr(offset, len));
}

std::string hexBytes(std::string_view s, std::size_t offset, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = offset; i < s.size() && i < offset + count; ++i) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

std::string fromUtf8(std::string_view utf8) {
    std::string out;
    std::size_t bad = 0;
    if (!toGbk().run(utf8, out, bad))
        throw EncodingError("text cannot be encoded in GBK at \"" + utf8CharAt(utf8, bad) + "\"");
    return out;
}

std::string toUtf8(std::string_view gbkBytes) {
    std::string out;
    std::size_t bad = 0;
    if (!fromGbk().run(gbkBytes, out, bad))
        throw EncodingError("bytes are not GBK at offset " + std::to_string(bad) + " (" +
                            hexBytes(gbkBytes, bad, 2) + ")");
    return out;
}

std::string toUtf8Shown(std::string_view gbkBytes) {
    std::string shown;
    std::string part;
    std::size_t bad = 0;
    while (!fromGbk().run(gbkBytes, part, bad)) {
        shown += part;
        // A lead byte whose trail byte was cut off: the character is lost.
        const unsigned char b = static_cast<unsigned char>(gbkBytes[bad]);
        if (bad + 1 == gbkBytes.size() && b >= 0x81 && b <= 0xFE) return shown;
        shown += "\xEF\xBF\xBD";  // U+FFFD for the one byte
        gbkBytes.remove_prefix(bad + 1);
    }
    return shown + part;
}

bool encodable(std::string_view utf8, std::string* offending) {
    std::string out;
    std::size_t bad = 0;
    if (toGbk().run(utf8, out, bad)) return true;
    if (offending) *offending = utf8CharAt(utf8, bad);
    return false;
}

std::size_t pos(std::string_view needle, std::string_view haystack) {
    if (needle.empty()) return 0;
    std::size_t at = haystack.find(needle);
    return at == std::string_view::npos ? 0 : at + 1;
}

std::string copy(std::string_view s, long index, long count) {
    if (index < 1) index = 1;
    if (count < 1 || static_cast<std::size_t>(index) > s.size()) return {};
    return std::string(s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count)));
}

std::string trimLeft(std::string_view s) {
    std::size_t b = 0;
    while (b < s.size() && isBlank(s[b])) ++b;
    return std::string(s.substr(b));
}

std::string trimRight(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && isBlank(s[e - 1])) --e;
    return std::string(s.substr(0, e));
}

std::string trim(std::string_view s) { return trimLeft(trimRight(s)); }

std::string num(long long value) { return std::to_string(value); }

}  // namespace gbk

std::string operator""_gbk(const char* utf8, std::size_t length) {
    return gbk::fromUtf8(std::string_view(utf8, length));
}
