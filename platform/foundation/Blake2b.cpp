#include "platform/foundation/Blake2b.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmora::Blake2b {

namespace {

constexpr std::array<std::uint64_t, 8> kInitial = {
    0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
    0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL,
};

constexpr std::uint8_t kSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
};

// Little-endian whatever the machine's order.
std::uint64_t load64(const std::uint8_t* bytes)
{
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i) {
        word = (word << 8) | bytes[i];
    }
    return word;
}

inline void mix(std::uint64_t* v, int a, int b, int c, int d, std::uint64_t x, std::uint64_t y)
{
    v[a] = v[a] + v[b] + x;
    v[d] = std::rotr(v[d] ^ v[a], 32);
    v[c] = v[c] + v[d];
    v[b] = std::rotr(v[b] ^ v[c], 24);
    v[a] = v[a] + v[b] + y;
    v[d] = std::rotr(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = std::rotr(v[b] ^ v[c], 63);
}

} // namespace

Hasher::Hasher(std::size_t digestBytes) : h_(kInitial), digestBytes_(std::clamp<std::size_t>(digestBytes, 1, 64))
{
    // The parameter block of an unkeyed digest: only its length is not zero.
    h_[0] ^= 0x01010000ULL ^ digestBytes_;
}

void Hasher::add(std::string_view bytes)
{
    const auto* at = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t left = bytes.size();
    // A full buffer is compressed only once more bytes follow: the last block is compressed apart.
    if (left > 0 && buffered_ > 0) {
        const std::size_t taken = std::min(left, buffer_.size() - buffered_);
        std::memcpy(buffer_.data() + buffered_, at, taken);
        buffered_ += taken;
        at += taken;
        left -= taken;
        if (left > 0) {
            compress(buffer_.data(), false);
            buffered_ = 0;
        }
    }
    while (left > buffer_.size()) {
        compress(at, false);
        at += buffer_.size();
        left -= buffer_.size();
    }
    if (left > 0) {
        std::memcpy(buffer_.data() + buffered_, at, left);
        buffered_ += left;
    }
}

std::array<std::uint8_t, 64> Hasher::finish()
{
    std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(buffered_), buffer_.end(), std::uint8_t{0});
    compress(buffer_.data(), true);
    std::array<std::uint8_t, 64> digest{};
    for (std::size_t i = 0; i < digestBytes_; ++i) {
        digest[i] = static_cast<std::uint8_t>(h_[i / 8] >> (8 * (i % 8)));
    }
    return digest;
}

void Hasher::compress(const std::uint8_t* block, bool last)
{
    // The counter holds the bytes up to the end of this block; the last block counts only the
    // bytes it holds.
    const std::uint64_t added = last ? buffered_ : buffer_.size();
    counted_[0] += added;
    if (counted_[0] < added) {
        ++counted_[1];
    }
    std::uint64_t m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = load64(block + 8 * i);
    }
    std::uint64_t v[16];
    for (int i = 0; i < 8; ++i) {
        v[i] = h_[static_cast<std::size_t>(i)];
        v[i + 8] = kInitial[static_cast<std::size_t>(i)];
    }
    v[12] ^= counted_[0];
    v[13] ^= counted_[1];
    if (last) {
        v[14] = ~v[14];
    }
    for (const auto& s : kSigma) {
        mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (std::size_t i = 0; i < 8; ++i) {
        h_[i] ^= v[i] ^ v[i + 8];
    }
}

Value of(std::string_view bytes)
{
    Hasher hasher(32);
    hasher.add(bytes);
    const std::array<std::uint8_t, 64> digest = hasher.finish();
    Value value{};
    std::copy_n(digest.begin(), value.size(), value.begin());
    return value;
}

std::string hex(const Value& value)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(value.size() * 2);
    for (const std::uint8_t byte : value) {
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

} // namespace velmora::Blake2b
