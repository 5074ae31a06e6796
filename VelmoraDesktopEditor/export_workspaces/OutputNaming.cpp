#include "export_workspaces/OutputNaming.h"

#include "export/MovieContainer.h"
#include "platform/foundation/StringText.h"

namespace velmora::OutputNaming {

namespace {

constexpr const char* outputSuffix = "_velmora_10bit.";
constexpr const char* fallbackBase = "velmora";

std::string removingAll(std::string text, const std::string& pattern)
{
    for (auto at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at))
        text.erase(at, pattern.size());
    return text;
}

} // namespace

std::string lowercasedExtension(const std::filesystem::path& file)
{
    const std::string extension = file.extension().string();
    return extension.empty() ? std::string() : StringText::lowercased(extension.substr(1));
}

bool isVideoFile(const std::filesystem::path& file)
{
    const std::string extension = lowercasedExtension(file);
    return extension == "mp4" || extension == "mov" || extension == "m4v";
}

std::string containerForInput(const std::filesystem::path& input)
{
    return MovieContainer::ofName(input).value_or("mov");
}

std::filesystem::path outputBesideInput(const std::filesystem::path& input, const std::string& extension)
{
    return input.parent_path() / (input.stem().string() + outputSuffix + extension);
}

std::string defaultOutputName(ExportWorkspaceTexts::JobKind kind, const std::optional<std::filesystem::path>& jobURL,
                              const std::optional<std::filesystem::path>& inputURL,
                              const std::string& outputContainer)
{
    if (kind == ExportWorkspaceTexts::JobKind::timeline) {
        std::string base = fallbackBase;
        if (jobURL)
            base = removingAll(removingAll(jobURL->stem().string(), "_desktop_v2_job"), "_job");
        return base + outputSuffix + outputContainer;
    }
    if (!inputURL)
        return std::string(fallbackBase) + outputSuffix + "mov";
    // Appended in place: GCC 12 misreads `temporary + literal` here as writing past the string
    // (a false -Warray-bounds, depending on what it inlines).
    std::string name = inputURL->stem().string();
    name += outputSuffix;
    name += containerForInput(*inputURL);
    return name;
}

} // namespace velmora::OutputNaming
