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

// Reading a desktop job whole: a timeline job (EditorJobV2) or a single-video job (Job). Choosing a
// job in the 10-bit Export workspace, its preview and its export, and opening a file in the Edit
// workspace read through here, so that a file is refused in one set of words, naming the file, the
// field and the value, wherever it is read.
namespace DesktopJobReading {

inline constexpr char errorDomain[] = "EditSession";
// The code of a file that no reader accepts (EditSession::load's code 2).
inline constexpr int unreadableCode = 2;

// Error("EditSession", 2, "Could not load “trip.json”: " + EditSession::decodingErrorDescription):
// "Could not load “trip.json”: The value at “timelines[0].clips[0].startTime” is "abc", not a
// number." The file is named as messages name files (FileError::shownName).
Error refusal(const std::filesystem::path& file, const DecodingError& failure);

// Whether `failure` is about a value that is there (of another type, a number out of range, text
// that is not JSON) rather than about the file's shape (a key missing, or null where a value is
// required).
bool isValueFailure(const DecodingError& failure);

// The whole text of `file` read as a job of the kind named; a failure throws refusal(file, …).
EditorJobV2 timelineJob(const std::filesystem::path& file, std::string_view bytes);
Job singleVideoJob(const std::filesystem::path& file, std::string_view bytes);

// What a job is refused for when it is chosen: the failure of reading `document` whole as a job of
// the kind named, when it is a value failure; nothing when the document decodes, or when it fails
// for its shape only (a key missing or null, a top level that is not an object): such a file is
// still taken, and its export says what it lacks.
std::optional<Error> valueRefusal(const std::filesystem::path& file, const nlohmann::json& document, bool timeline);

} // namespace DesktopJobReading

} // namespace velmora
