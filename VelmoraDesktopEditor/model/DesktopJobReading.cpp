#include "model/DesktopJobReading.h"

#include "model/EditSession.h"
#include "model/JsonDecoding.h"
#include "platform/foundation/FileError.h"

namespace velmora::DesktopJobReading {

Error refusal(const std::filesystem::path& file, const DecodingError& failure)
{
    return Error(errorDomain, unreadableCode,
                 "Could not load \u201C" + FileError::shownName(file) +
                     "\u201D: " + EditSession::decodingErrorDescription(failure));
}

bool isValueFailure(const DecodingError& failure)
{
    // Null counts as absent, where the job's rules allow a value to be absent and where they do not.
    return failure.kind() == DecodingError::Kind::typeMismatch || failure.kind() == DecodingError::Kind::dataCorrupted;
}

namespace {

template <class Record>
Record readWhole(const std::filesystem::path& file, std::string_view bytes)
{
    try {
        return Record::fromJSON(bytes);
    } catch (const DecodingError& failure) {
        throw refusal(file, failure);
    }
}

} // namespace

EditorJobV2 timelineJob(const std::filesystem::path& file, std::string_view bytes)
{
    return readWhole<EditorJobV2>(file, bytes);
}

Job singleVideoJob(const std::filesystem::path& file, std::string_view bytes)
{
    return readWhole<Job>(file, bytes);
}

std::optional<Error> valueRefusal(const std::filesystem::path& file, const nlohmann::json& document, bool timeline)
{
    if (!document.is_object()) {
        return std::nullopt;
    }
    try {
        const KeyedContainer root = KeyedContainer::root(document);
        if (timeline) {
            (void)EditorJobV2::decode(root);
        } else {
            (void)Job::decode(root);
        }
    } catch (const DecodingError& failure) {
        if (isValueFailure(failure)) {
            return refusal(file, failure);
        }
    }
    return std::nullopt;
}

} // namespace velmora::DesktopJobReading
