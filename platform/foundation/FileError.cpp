#include "platform/foundation/FileError.h"

#include <cerrno>
#include <string>

#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/Utf8.h"

namespace velmora::FileError {

std::string shownName(const std::filesystem::path& path)
{
    std::filesystem::path trimmed = path;
    if (!trimmed.has_filename() && trimmed.has_parent_path() && trimmed != trimmed.root_path()) {
        trimmed = trimmed.parent_path();
    }
    const std::string name = trimmed.filename().string();
    return Utf8::escapingInvalid(name.empty() ? path.string() : name);
}

Error make(const std::error_code& error, std::string_view action, const std::filesystem::path& path)
{
    return Error(std::string(domain), error.value(),
                 std::string(action) + " “" + shownName(path) + "”: " + error.message() + ".");
}

Error fromErrno(int errorNumber, std::string_view action, const std::filesystem::path& path)
{
    return make(std::error_code(errorNumber, std::generic_category()), action, path);
}

Error notAFile(std::string_view kind, std::string_view action, const std::filesystem::path& path)
{
    return Error(std::string(domain), EINVAL,
                 std::string(action) + " “" + shownName(path) + "”: " + RegularFiles::notAFileReason(kind) + ".");
}

} // namespace velmora::FileError
