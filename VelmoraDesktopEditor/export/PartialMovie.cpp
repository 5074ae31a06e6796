#include "export/PartialMovie.h"

#include <string>
#include <system_error>

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

std::filesystem::path folderOf(const std::filesystem::path& outputURL)
{
    return outputURL.has_parent_path() ? outputURL.parent_path() : std::filesystem::path(".");
}

// Runs before the claim of the new partial file, in its member initialiser.
const std::filesystem::path& withoutStalePartials(const std::filesystem::path& outputURL)
{
    removeStaleScratchFiles(folderOf(outputURL), partialMovieNaming(outputURL));
    return outputURL;
}

} // namespace

ScratchNaming partialMovieNaming(const std::filesystem::path& outputURL)
{
    return ScratchNaming{"." + outputURL.stem().string() + ".partial-", outputURL.extension().string(), 8,
                         "0123456789ABCDEF"};
}

PartialMovie::PartialMovie(const std::filesystem::path& outputURL)
    : outputURL_(withoutStalePartials(outputURL)),
      claim_(folderOf(outputURL), partialMovieNaming(outputURL), "Could not write", outputURL)
{
    // The writer opens the file itself; only the lock is kept.
    claim_.closeWriteDescriptor();
}

PartialMovie::~PartialMovie()
{
    if (!committed_) {
        std::error_code ec;
        std::filesystem::remove(path(), ec);
    }
}

void PartialMovie::commit()
{
    std::filesystem::rename(path(), outputURL_);
    committed_ = true;
}

Error PartialMovie::namingOutput(const Error& error) const
{
    std::string message = error.message();
    // The whole path first, so that its file name is not replaced on its own.
    replaceAll(message, path().string(), outputURL_.string());
    replaceAll(message, path().filename().string(), outputURL_.filename().string());
    return Error(error.domain(), error.code(), message);
}

} // namespace velmora::Exporter
