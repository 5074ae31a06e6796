#include "platform/foundation/Digest.h"

#include <bit>
#include <cstring>

namespace velmora::Digest {

namespace {

std::uint64_t mixed(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 33);
}

} // namespace

void Builder::add(std::string_view field)
{
    addWord(field.size());
    std::size_t at = 0;
    for (; at + sizeof(std::uint64_t) <= field.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, field.data() + at, sizeof word);
        addWord(word);
    }
    if (at < field.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, field.data() + at, field.size() - at);
        addWord(word);
    }
}

void Builder::add(const std::optional<std::string>& field)
{
    addWord(field ? 1 : 0);
    if (field) {
        add(std::string_view(*field));
    }
}

Value Builder::value() const
{
    return {mixed(a_), mixed(b_)};
}

void Builder::addWord(std::uint64_t word)
{
    a_ = (a_ ^ word) * 0x100000001b3ULL;
    a_ ^= a_ >> 29;
    b_ = std::rotl(b_ + word, 23) * 0x9e3779b97f4a7c15ULL;
    b_ ^= b_ >> 32;
}

Value of(std::string_view bytes)
{
    Builder builder;
    builder.add(bytes);
    return builder.value();
}

} // namespace velmora::Digest
