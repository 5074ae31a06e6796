#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "export_workspaces/ExportWorkspaceTexts.h"

// Names of the movie files the "10-bit Export" workspace proposes.
namespace velmora::OutputNaming {

// The extension without its dot, lower-cased ("MOV" gives "mov"); empty when there is none.
std::string lowercasedExtension(const std::filesystem::path& file);

// True for the video files accepted as input: "mp4", "mov" and "m4v" in any case.
bool isVideoFile(const std::filesystem::path& file);

// The container a movie made from `input` gets: "mp4" for an mp4 or m4v input, else "mov".
std::string containerForInput(const std::filesystem::path& input);

// The input's folder + its name without extension + "_velmora_10bit." + `extension`.
std::filesystem::path outputBesideInput(const std::filesystem::path& input, const std::string& extension);

// The proposed output file name. A timeline job: the job file's name without extension, with
// every "_desktop_v2_job" and then every "_job" taken out ("velmora" without a job file), +
// "_velmora_10bit." + `outputContainer`. Otherwise: the input's name without extension
// ("velmora" without an input) + "_velmora_10bit." + the input's container, "mov" without an
// input; `outputContainer` plays no part.
std::string defaultOutputName(ExportWorkspaceTexts::JobKind kind, const std::optional<std::filesystem::path>& jobURL,
                              const std::optional<std::filesystem::path>& inputURL,
                              const std::string& outputContainer);

} // namespace velmora::OutputNaming
