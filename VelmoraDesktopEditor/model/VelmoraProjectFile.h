#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/EditSession.h"

namespace velmora {

// A kind of file as the desktop knows it: a MIME type for the file dialogs and the desktop
// database, the extensions it is recognised by, and the broader type it is a kind of.
struct FileContentType {
    std::string identifier;                     // reverse-DNS name
    std::string mimeType;
    std::vector<std::string> filenameExtensions; // without the leading full stop
    std::string conformsTo;                     // MIME type of the broader type; empty for none

    bool operator==(const FileContentType&) const = default;
};

// What an open dialog offers. The views turn it into a QFileDialog; the model only decides it.
struct OpenPanelConfiguration {
    bool allowsMultipleSelection = true;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsOtherFileTypes = false;
    std::vector<FileContentType> allowedContentTypes;
    std::vector<std::string> allowedFileTypes;
    std::string message;
    std::string prompt;

    bool operator==(const OpenPanelConfiguration&) const = default;
};

// The project document as a file: its extension and type, the open dialogs, and naming.
namespace VelmoraProjectFile {

inline constexpr std::string_view fileExtension = "tavlek";

// The project document's type: a kind of JSON that the application reads but does not own.
FileContentType contentType();
// Plain JSON.
FileContentType jsonContentType();
// contentType(), then JSON.
std::vector<FileContentType> openContentTypes();

// For importing a browser editor file (job, edit-return file or browser project).
void configureWebJobOpenPanel(OpenPanelConfiguration& panel);
// For opening a project.
void configureProjectOpenPanel(OpenPanelConfiguration& panel);

// The file's last path component without its extension ("Trip.final.tavlek" gives "Trip.final"),
// as words name it: bytes that are not UTF-8 are written as \xE9 (a name is always valid text).
std::string displayName(const std::filesystem::path& fileURL);

// The name the save dialog offers: the trimmed project name with spaces as "_" and "/" as "-"
// (a "/" would make a subfolder), or "My_Movie" for a placeholder name; then ".tavlek".
std::string defaultSaveFilename(const EditSession& session);

// True for the trimmed texts "", "Untitled Project" and "Desktop Project" (letter case counts).
bool isPlaceholderName(std::string_view name);

// The URL with the project extension: unchanged when it already has it in any letter case,
// else with its extension (if any) replaced.
std::filesystem::path normalizedURL(const std::filesystem::path& fileURL);

// Names the project after the file when forced or when its name is a placeholder; creates an
// empty project when the session has none. A file URL without a stem changes nothing.
void applyFilenameToProjectName(EditSession& session, const std::filesystem::path& fileURL, bool forceFromFilename);

} // namespace VelmoraProjectFile

} // namespace velmora
