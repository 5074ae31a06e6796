#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class KeyedContainer;

// The single-video match-grade job: how to grade and encode one input video that the caller
// names separately. Decode-only, with the strict rules of model/JsonDecoding.h.
struct Job {
    struct Output {
        std::optional<double> fps;
        std::optional<std::int64_t> fpsNum;
        std::optional<std::int64_t> fpsDen;
        std::optional<std::int64_t> maxWidth;      // pixels
        std::optional<std::int64_t> targetBitrate; // bits per second
        std::optional<std::string> container;      // "mp4", "mov", …

        static Output decode(const KeyedContainer& container);
        bool operator==(const Output&) const = default;
    };

    struct Grade {
        // Required, may be empty: inline .cube text or a LUT file reference.
        std::string lutCube;

        static Grade decode(const KeyedContainer& container);
        bool operator==(const Grade&) const = default;
    };

    std::optional<double> sourceInSeconds;
    std::optional<double> sourceOutSeconds;
    std::int64_t version = 0; // required
    std::optional<Output> output;
    Grade grade; // required

    static Job decode(const KeyedContainer& container);

    // Decodes a whole file's text; throws DecodingError.
    static Job fromJSON(std::string_view bytes);

    bool operator==(const Job&) const = default;
};

// The one-field probe that reads a job file's "tool" before the file's kind is known.
struct JobToolProbe {
    std::optional<std::string> tool;

    static JobToolProbe decode(const KeyedContainer& container);
};

} // namespace velmora
