#include "model/DesktopJobReading.h"

#include <string>

#include "model/DesktopJobTool.h"
#include "model/EditSession.h"
#include "model/JsonDecoding.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/NumberText.h"

namespace velmora::DesktopJobReading {

namespace {

Error refusalSaying(const std::filesystem::path& file, const std::string& words)
{
    return Error(errorDomain, unreadableCode, "Could not load \u201C" + FileError::shownName(file) + "\u201D: " + words);
}

// The kind of job the export reads `document` as; throws DecodingError for a document that is no
// job of either kind: the tool is read strictly, as its probe's record reads it.
Kind readKind(const nlohmann::json& document)
{
    (void)JobToolProbe::decode(KeyedContainer::root(document));
    return DesktopJobTool::isTimelineJobDocument(document) ? Kind::timeline : Kind::singleVideo;
}

// Every failure found, the first few in the words of decodingErrorDescription, then how many more.
std::string failureWords(const JsonDecoding::Failures& failures)
{
    std::string words;
    for (const DecodingError& failure : failures.first) {
        if (!words.empty()) {
            words += ' ';
        }
        words += EditSession::decodingErrorDescription(failure);
    }
    if (failures.count > failures.first.size()) {
        words += std::string(failures.countStopped ? " And at least " : " And ") +
                 NumberText::integer(static_cast<std::int64_t>(failures.count - failures.first.size())) + " more.";
    }
    return words;
}

// Strictly first: only a document that fails is read again, for all its failures.
template <class Record>
Record readWhole(const std::filesystem::path& file, const nlohmann::json& document)
{
    const auto read = [&document] { return Record::decode(KeyedContainer::root(document)); };
    try {
        return read();
    } catch (const DecodingError& failure) {
        throw refusal(file, JsonDecoding::everyFailure([&read] { (void)read(); }, failure));
    }
}

} // namespace

Error refusal(const std::filesystem::path& file, const DecodingError& failure)
{
    return refusalSaying(file, EditSession::decodingErrorDescription(failure));
}

Error refusal(const std::filesystem::path& file, const JsonDecoding::Failures& failures)
{
    return refusalSaying(file, failureWords(failures));
}

nlohmann::json document(const std::filesystem::path& file, std::string_view bytes)
{
    if (std::optional<nlohmann::json> tree = JsonDecoding::tryParse(bytes)) {
        return std::move(*tree);
    }
    try {
        return JsonDecoding::parse(bytes);
    } catch (const DecodingError& failure) {
        throw refusal(file, failure);
    }
}

Kind kindOf(const std::filesystem::path& file, const nlohmann::json& document)
{
    try {
        return readKind(document);
    } catch (const DecodingError& failure) {
        throw refusal(file, failure);
    }
}

EditorJobV2 timelineJob(const std::filesystem::path& file, const nlohmann::json& document)
{
    EditorJobV2 job = readWhole<EditorJobV2>(file, document);
    job.giveClipIds();
    return job;
}

Job singleVideoJob(const std::filesystem::path& file, const nlohmann::json& document)
{
    return readWhole<Job>(file, document);
}

EditorJobV2 timelineJobFromText(const std::filesystem::path& file, std::string_view bytes)
{
    return timelineJob(file, document(file, bytes));
}

std::optional<Error> refusalOf(const std::filesystem::path& file, const nlohmann::json& document)
{
    try {
        if (kindOf(file, document) == Kind::timeline) {
            (void)timelineJob(file, document);
        } else {
            (void)singleVideoJob(file, document);
        }
    } catch (const Error& refused) {
        return refused;
    }
    return std::nullopt;
}

std::optional<Error> singleVideoJobRefusalForEditing(const std::filesystem::path& file,
                                                     const nlohmann::json& document)
{
    try {
        if (readKind(document) != Kind::singleVideo) {
            return std::nullopt;
        }
    } catch (const DecodingError&) {
        return std::nullopt;
    }
    // Its kind alone decides: read as a session, a job whose values the export refuses would
    // open as an empty project, and Save would write that over the job.
    std::string words = "\u201C" + FileError::shownName(file) +
                        "\u201D is a single-video job: open it in the 10-bit Export workspace.";
    const auto read = [&document] { (void)Job::decode(KeyedContainer::root(document)); };
    try {
        read();
    } catch (const DecodingError& failure) {
        words += ' ' + failureWords(JsonDecoding::everyFailure(read, failure));
    }
    return Error(errorDomain, singleVideoJobCode, words);
}

} // namespace velmora::DesktopJobReading
