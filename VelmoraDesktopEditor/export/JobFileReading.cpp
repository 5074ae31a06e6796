#include "export/JobFileReading.h"

#include "platform/foundation/FileError.h"
#include "platform/foundation/FileReading.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/Utf8.h"

namespace velmora::Exporter {

std::string readJobFileBytes(const std::filesystem::path& path)
{
    return readFileContents(path);
}

std::optional<std::string> readUtf8TextFile(const std::filesystem::path& path)
{
    if (const std::optional<std::string_view> kind = RegularFiles::otherKindAt(path)) {
        throw FileError::notAFile(*kind, "Could not read", path);
    }
    try {
        std::string bytes = readJobFileBytes(path);
        if (!Utf8::isValid(bytes)) {
            return std::nullopt;
        }
        return bytes;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace velmora::Exporter
