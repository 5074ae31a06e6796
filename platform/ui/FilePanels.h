#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// One open or save panel: what the user is asked to choose.
struct FilePanelRequest {
    enum class Kind {
        openFile,   // one existing file
        openFiles,  // one or more existing files (and folders when canChooseDirectories)
        openFolder, // one existing folder
        saveFile,   // a file name to write, in an existing folder
    };
    Kind kind = Kind::openFile;
    std::string title;
    // Accepted file-name extensions, lower case and without the dot ("json", "cube"); empty
    // accepts every file. Matching ignores case.
    std::vector<std::string> extensions;
    // Where the panel starts when no panel of its kind (open or save, the same types) has been
    // used yet, normally the project's folder; empty: the user's Videos folder. A panel of a kind
    // used before starts in the folder that one was closed in.
    std::filesystem::path directory;
    // Proposed file name of a save panel.
    std::string suggestedName;
    // openFiles only: folders may be chosen as well as files, in the same panel.
    bool canChooseDirectories = false;
    // Files of other types than `extensions` may be chosen too (the panel offers every file
    // as a second filter); a save panel keeps a typed extension that is not among them.
    bool allowsOtherFileTypes = false;
    // Text of the button that accepts the choice ("Import Media"); empty keeps the panel's own.
    std::string acceptLabel;
    // saveFile only: the extension a typed name is given when it does not end in one of
    // `extensions` (none when empty). The name is completed before the panel asks whether to
    // replace an existing file, so the file asked about is the file the caller gets.
    std::string defaultSuffix;
    // saveFile only: extensions a typed name loses for `defaultSuffix` instead of keeping them
    // before it (a movie type the format cannot hold: "take.mp4" becomes "take.mov").
    std::vector<std::string> replacedExtensions;

    // Whether the user may choose more than one item.
    bool allowsMultipleSelection() const { return kind == Kind::openFiles; }

    // The file a save panel gives for the name typed: `typed` itself when it ends in one of
    // `extensions` (any case) or no default suffix is set, else `typed` with its extension
    // replaced (one of `replacedExtensions`) or followed by "." + `defaultSuffix`.
    std::filesystem::path completedSaveName(const std::filesystem::path& typed) const;
};

// Called once on the main thread when the panel closes: the chosen paths, or none when the
// user cancelled.
using FilePanelCompletion = std::function<void(std::vector<std::filesystem::path>)>;

// Open and save panels, injected into every controller that asks for files, so tests answer
// them without a screen. Panels never block: the completion runs after the panel closes.
class FilePanels {
public:
    virtual ~FilePanels() = default;
    virtual void run(const FilePanelRequest& request, FilePanelCompletion completion) = 0;
};

} // namespace velmora
