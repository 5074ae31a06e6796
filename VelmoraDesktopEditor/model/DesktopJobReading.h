#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "model/EditorJobV2.h"
#include "model/Job.h"
#include "platform/foundation/Error.h"

namespace velmora {

class DecodingError;

namespace JsonDecoding {
struct Failures;
}

// Reading a desktop job whole: a timeline job (EditorJobV2) or a single-video job (Job). The one
// reader of a job file: choosing a job in the 10-bit Export workspace, its preview and its export
// ask it which kind a file is and read it through it, so that a file chosen is a file the export
// reads, and one refused is refused in one set of words, naming the file, every field that
// cannot be read (the first few) and its value, wherever it is read. Opening a file in the Edit
// workspace asks it whether the file is a single-video job, which does not open there.
namespace DesktopJobReading {

inline constexpr char errorDomain[] = "EditSession";
// The code of a file that no reader accepts (EditSession::load's code 2).
inline constexpr int unreadableCode = 2;
// The code of a single-video job handed to the Edit workspace, which opens timelines only.
inline constexpr int singleVideoJobCode = 3;

enum class Kind { timeline, singleVideo };

// Error("EditSession", 2, "Could not load “trip.json”: " + EditSession::decodingErrorDescription):
// "Could not load “trip.json”: The value at “timelines[0].clips[0].startTime” is "abc", not a
// number." The file is named as messages name files (FileError::shownName).
Error refusal(const std::filesystem::path& file, const DecodingError& failure);
// The same naming every failure found: the first few in the order read, each in the words
// above, then how many more there are ("… And 4 more.", "… And at least 997 more." where the
// reading stopped counting).
Error refusal(const std::filesystem::path& file, const JsonDecoding::Failures& failures);

// The file's text as JSON; text that is not JSON throws refusal(file, …).
nlohmann::json document(const std::filesystem::path& file, std::string_view bytes);

// Which kind of job the export reads `document` as: a timeline job when its "tool" is one of the
// three identifiers (DesktopJobTool::isTimelineRenderJob) or its "timelines" is a non-empty list;
// any other object is a single-video job. A document that is no job of either kind, whatever it
// holds, throws refusal(file, …): a top level that is not an object, a "tool" that is there, not
// null and not text.
Kind kindOf(const std::filesystem::path& file, const nlohmann::json& document);

// `document` read whole as a job of the kind named; a failure throws refusal(file, failures)
// naming every failure found. A valid document is read once, as fast as the record's reader. A
// timeline job's clips without ids are given the ids opening it gives them (giveClipIds).
EditorJobV2 timelineJob(const std::filesystem::path& file, const nlohmann::json& document);
Job singleVideoJob(const std::filesystem::path& file, const nlohmann::json& document);
// The same from the file's text. Named apart from the JSON overload: text converts to JSON, so
// one name for both would make a call with a std::string ambiguous wherever JSON is complete.
EditorJobV2 timelineJobFromText(const std::filesystem::path& file, std::string_view bytes);

// What the export would refuse `document` for: its kind (kindOf), then the whole job of that
// kind; nothing when the export reads it.
std::optional<Error> refusalOf(const std::filesystem::path& file, const nlohmann::json& document);

// What the Edit workspace says of `document` when the export reads it as a single-video job
// (kindOf), whether or not its values read: Error("EditSession", singleVideoJobCode, "“grade.json”
// is a single-video job: open it in the 10-bit Export workspace."), followed by the words naming
// its values that do not read, as refusal names them ("… The value at “sourceOutSeconds” is
// "3.0", not a number."). None for any other document. Never fails otherwise.
std::optional<Error> singleVideoJobRefusalForEditing(const std::filesystem::path& file,
                                                     const nlohmann::json& document);

} // namespace DesktopJobReading

} // namespace velmora
