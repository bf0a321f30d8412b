#include "jet_file.h"

#include "datam.h"

#include <QString>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace data {
namespace {

constexpr char kSqliteMagic[] = "SQLite format 3";  // followed by a zero byte
constexpr char kJetMagic[] = "Standard Jet DB";
constexpr char kAceMagic[] = "Standard ACE DB";
constexpr std::size_t kMagicAt = 4;
constexpr std::size_t kVersionAt = 0x14;

// The part of page 0 that Jet 4.0 keeps under an RC4 mask, and its key.
constexpr std::size_t kMaskedAt = 0x18;
constexpr std::size_t kMaskedSize = 126;
constexpr unsigned char kHeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};
// Inside it: the password (20 UTF-16 code units) and the creation date.
constexpr std::size_t kPasswordAt = 0x42;
constexpr std::size_t kPasswordSize = 40;
constexpr std::size_t kCreationDateAt = 0x72;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads up to size bytes from the start of the file; returns how many.
std::size_t readStart(const std::string& path, unsigned char* out, std::size_t size) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) throw DataError("cannot read " + path + ": " + std::strerror(errno));
    std::size_t n = std::fread(out, 1, size, f.get());
    if (std::ferror(f.get())) throw DataError("cannot read " + path + ": " + std::strerror(errno));
    return n;
}

bool startsWith(const unsigned char* bytes, std::size_t size, std::size_t at, const char* text) {
    std::size_t length = std::strlen(text);
    return size >= at + length && std::memcmp(bytes + at, text, length) == 0;
}

std::string hexBytes(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

void rc4(const unsigned char* key, std::size_t keySize, unsigned char* data, std::size_t size) {
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[static_cast<std::size_t>(i) % keySize]) & 255;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 255;
        j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 255];
    }
}

}  // namespace

DetectedFormat detectFileFormat(const std::string& path) {
    unsigned char start[32] = {};
    const std::size_t size = readStart(path, start, sizeof start);
    if (size == 0) return {FileFormat::Other, "an empty file"};
    if (size >= sizeof kSqliteMagic && std::memcmp(start, kSqliteMagic, sizeof kSqliteMagic) == 0)
        return {FileFormat::SQLite, "an SQLite 3 database"};
    if (startsWith(start, size, kMagicAt, kAceMagic))
        return {FileFormat::Other, "an Access 2007 or later (ACE, .accdb) file"};
    if (startsWith(start, size, kMagicAt, kJetMagic) && size > kVersionAt) {
        switch (start[kVersionAt]) {
        case 0: return {FileFormat::Other, "a Jet 3 (Access 97) file"};
        case 1: return {FileFormat::Jet4, "a Jet 4.0 (Access 2000) file"};
        default:
            return {FileFormat::Other,
                    "a Jet file of unknown version " + std::to_string(start[kVersionAt])};
        }
    }
    return {FileFormat::Other,
            "a file of unknown format (it begins " + hexBytes(start, std::min<std::size_t>(size, 8)) + ")"};
}

std::string jetDatabasePassword(const std::array<unsigned char, kJetPageSize>& page0) {
    unsigned char masked[kMaskedSize];
    std::memcpy(masked, page0.data() + kMaskedAt, kMaskedSize);
    rc4(kHeaderKey, sizeof kHeaderKey, masked, kMaskedSize);

    double created = 0;
    std::memcpy(&created, masked + (kCreationDateAt - kMaskedAt), sizeof created);
    if (!std::isfinite(created) || created <= std::numeric_limits<std::int32_t>::min() - 1.0 ||
        created >= std::numeric_limits<std::int32_t>::max() + 1.0)
        throw DataError("the Jet header's creation date is damaged");
    const auto days = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
    const unsigned char dateMask[4] = {static_cast<unsigned char>(days), static_cast<unsigned char>(days >> 8),
                                       static_cast<unsigned char>(days >> 16),
                                       static_cast<unsigned char>(days >> 24)};

    std::u16string password;
    const unsigned char* stored = masked + (kPasswordAt - kMaskedAt);
    for (std::size_t i = 0; i < kPasswordSize; i += 2) {
        const char16_t low = stored[i] ^ dateMask[i % 4];
        const char16_t high = stored[i + 1] ^ dateMask[(i + 1) % 4];
        const char16_t unit = static_cast<char16_t>(low | (high << 8));
        if (unit == 0) break;
        password += unit;
    }
    return QString::fromStdU16String(password).toStdString();
}

void checkJetPassword(const std::string& path, const std::string& given) {
    std::array<unsigned char, kJetPageSize> page0{};
    if (readStart(path, page0.data(), page0.size()) < page0.size())
        throw DataError(path + ": the Jet file is damaged: it is shorter than its header page");
    std::string stored;
    try {
        stored = jetDatabasePassword(page0);
    } catch (const DataError& e) {
        throw DataError(path + ": " + e.what());
    }
    if (stored.empty() && !given.empty())
        throw DataError(path + ": the Jet file has no database password; it must have the program's");
    if (stored != given) throw DataError(path + ": wrong database password");
}

}  // namespace data
