#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A 128-bit digest of bytes, for telling large inputs apart by a short value kept instead of a
// copy of them: two 64-bit hashes mixed differently, fed eight bytes at a time. Not for security:
// it tells apart what the editor meets, not what an adversary makes (where bytes from anywhere
// are known by their digest alone, Blake2b). Stateless; any thread.
namespace velmora::Digest {

using Value = std::array<std::uint64_t, 2>;

// The digest of a run of fields; each field is fed with its length, so that no two runs of
// fields give the same bytes.
class Builder {
public:
    void add(std::string_view field);
    // An absent field is told from an empty one.
    void add(const std::optional<std::string>& field);
    Value value() const;

private:
    void addWord(std::uint64_t word);

    std::uint64_t a_ = 0xcbf29ce484222325ULL;
    std::uint64_t b_ = 0x6a09e667f3bcc909ULL;
};

// The digest of one run of bytes (a Builder fed that one field).
Value of(std::string_view bytes);

} // namespace velmora::Digest
