#include "export/PartialMovie.h"

#include <string>
#include <system_error>

#include "platform/foundation/Uuid.h"

namespace velmora::Exporter {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty()) {
        return;
    }
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

} // namespace

std::filesystem::path partialMoviePath(const std::filesystem::path& outputURL)
{
    const std::string tag = Uuid::randomText().substr(0, 8);
    return outputURL.parent_path() /
           ("." + outputURL.stem().string() + ".partial-" + tag + outputURL.extension().string());
}

PartialMovie::PartialMovie(const std::filesystem::path& outputURL)
    : outputURL_(outputURL), path_(partialMoviePath(outputURL))
{
}

PartialMovie::~PartialMovie()
{
    if (!committed_) {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
}

void PartialMovie::commit()
{
    std::filesystem::rename(path_, outputURL_);
    committed_ = true;
}

Error PartialMovie::namingOutput(const Error& error) const
{
    std::string message = error.message();
    // The whole path first, so that its file name is not replaced on its own.
    replaceAll(message, path_.string(), outputURL_.string());
    replaceAll(message, path_.filename().string(), outputURL_.filename().string());
    return Error(error.domain(), error.code(), message);
}

} // namespace velmora::Exporter
