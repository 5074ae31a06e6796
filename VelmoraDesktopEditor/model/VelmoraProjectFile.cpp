#include "model/VelmoraProjectFile.h"

#include "platform/foundation/Utf8.h"
#include "platform/foundation/StringText.h"

namespace velmora::VelmoraProjectFile {

namespace fs = std::filesystem;

namespace {

void configureCommon(OpenPanelConfiguration& panel)
{
    panel.allowsMultipleSelection = false;
    panel.canChooseFiles = true;
    panel.canChooseDirectories = false;
    panel.allowsOtherFileTypes = true;
    panel.allowedContentTypes = openContentTypes();
    panel.allowedFileTypes = {std::string(fileExtension), "json"};
}

// The path without trailing separators, so that "dir/" names "dir".
fs::path withoutTrailingSeparator(const fs::path& path)
{
    fs::path result = path;
    while (!result.has_filename() && result.has_relative_path()) {
        result = result.parent_path();
    }
    return result;
}

} // namespace

FileContentType contentType()
{
    return FileContentType{"org.velmora.desktop-editor.project", "application/x-velmora-project",
                           {std::string(fileExtension)}, "application/json"};
}

FileContentType jsonContentType()
{
    return FileContentType{"public.json", "application/json", {"json"}, ""};
}

std::vector<FileContentType> openContentTypes()
{
    return {contentType(), jsonContentType()};
}

void configureWebJobOpenPanel(OpenPanelConfiguration& panel)
{
    configureCommon(panel);
    panel.message = "Choose a web export: Desktop job JSON, Edit Return JSON, or a browser .tavlek project.";
    panel.prompt = "Import";
}

void configureProjectOpenPanel(OpenPanelConfiguration& panel)
{
    configureCommon(panel);
    panel.message = "Open a Velmora Desktop (.tavlek) or web browser project (.tavlek). Media is loaded from the "
                    "saved folder or ProjectName_media beside the file.";
    panel.prompt = "Open";
}

std::string displayName(const fs::path& fileURL)
{
    return Utf8::escapingInvalid(withoutTrailingSeparator(fileURL).stem().string());
}

std::string defaultSaveFilename(const EditSession& session)
{
    const std::string name =
        session.project && session.project->name ? StringText::trimmed(*session.project->name) : std::string();
    std::string base = "My_Movie";
    if (!isPlaceholderName(name)) {
        base = name;
        for (char& c : base) {
            if (c == ' ') {
                c = '_';
            } else if (c == '/') {
                c = '-';
            }
        }
    }
    return base + "." + std::string(fileExtension);
}

bool isPlaceholderName(std::string_view name)
{
    const std::string trimmedName = StringText::trimmed(name);
    return trimmedName.empty() || trimmedName == "Untitled Project" || trimmedName == "Desktop Project";
}

fs::path normalizedURL(const fs::path& fileURL)
{
    const fs::path file = withoutTrailingSeparator(fileURL);
    std::string extension = file.extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (extension == "." + std::string(fileExtension)) {
        return fileURL;
    }
    fs::path result = file;
    result.replace_extension(std::string(fileExtension));
    return result;
}

void applyFilenameToProjectName(EditSession& session, const fs::path& fileURL, bool forceFromFilename)
{
    const std::string stem = displayName(fileURL);
    if (stem.empty()) {
        return;
    }
    if (!session.project) {
        session.project = EditSession::Project();
    }
    const std::string current =
        session.project->name ? StringText::trimmed(*session.project->name) : std::string();
    if (forceFromFilename || isPlaceholderName(current)) {
        session.project->name = stem;
    }
}

} // namespace velmora::VelmoraProjectFile
