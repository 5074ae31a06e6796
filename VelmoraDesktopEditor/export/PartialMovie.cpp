#include "export/PartialMovie.h"

#include <string>
#include <system_error>

namespace velmora::Exporter {

namespace {

constexpr std::string_view kPartialMark = ".partial-";
constexpr std::string_view kTagDigits = "0123456789ABCDEF";
constexpr std::size_t kTagLength = 8;

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
    removeStaleScratchFiles(folderOf(outputURL), isPartialMovieName);
    return outputURL;
}

} // namespace

ScratchNaming partialMovieNaming(const std::filesystem::path& outputURL)
{
    const std::string extension = outputURL.extension().string();
    const std::string stem = ScratchNaming::fittedName(outputURL.stem().string(),
                                                       1 + kPartialMark.size() + kTagLength + extension.size());
    return ScratchNaming{"." + stem + std::string(kPartialMark), extension, kTagLength, kTagDigits};
}

bool isPartialMovieName(std::string_view name)
{
    if (!name.starts_with('.')) {
        return false;
    }
    // The last mark is the naming's: a stem may hold the mark itself.
    const std::size_t mark = name.rfind(kPartialMark);
    if (mark == std::string_view::npos || mark == 0) {
        return false;
    }
    const std::string_view rest = name.substr(mark + kPartialMark.size());
    const std::string_view tag = rest.substr(0, kTagLength);
    if (tag.size() < kTagLength || tag.find_first_not_of(kTagDigits) != std::string_view::npos) {
        return false;
    }
    const std::string_view extension = rest.substr(kTagLength);
    return extension.empty() || (extension.front() == '.' && extension.find('.', 1) == std::string_view::npos);
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

void PartialMovie::discard()
{
    std::error_code ec;
    std::filesystem::remove(path(), ec);
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
