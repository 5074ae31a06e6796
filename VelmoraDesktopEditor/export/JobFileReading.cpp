#include "export/JobFileReading.h"

#include "platform/foundation/FileReading.h"
#include "platform/foundation/Utf8.h"

namespace velmora::Exporter {

std::string readJobFileBytes(const std::filesystem::path& path)
{
    return readFileContents(path);
}

std::optional<std::string> readUtf8TextFile(const std::filesystem::path& path)
{
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
