// Opening project files: one front door for every JSON file the editor accepts.

#include <algorithm>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "model/DesktopJobReading.h"
#include "model/DesktopJobTool.h"
#include "model/EditSession.h"
#include "model/JsonDecoding.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/FileReading.h"
#include "platform/foundation/StringText.h"

namespace velmora {

namespace {

constexpr char errorDomain[] = "EditSession";
constexpr int emptyFileCode = 1;

// The markers of the document's timelines, which the job record does not hold, given to the
// session's timelines made from them (one for each, in order). The editor's own writers put them
// there (an edit-return file, a render job): kept, they survive a return trip. Each marker is
// read as the session reader reads one; a marker that does not read is left out.
void keepMarkers(EditSession& session, const nlohmann::json& document)
{
    const auto timelines = document.find("timelines");
    if (timelines == document.end() || !timelines->is_array()) {
        return;
    }
    const std::size_t count = std::min(timelines->size(), session.timelines.size());
    for (std::size_t index = 0; index < count; ++index) {
        const nlohmann::json& timeline = (*timelines)[index];
        const auto markers = timeline.is_object() ? timeline.find("markers") : timeline.end();
        if (!timeline.is_object() || markers == timeline.end() || !markers->is_array()) {
            continue;
        }
        for (const nlohmann::json& marker : *markers) {
            if (!marker.is_object()) {
                continue;
            }
            try {
                session.timelines[index].markers.push_back(EditSession::decodeMarker(KeyedContainer(marker, {})));
            } catch (const DecodingError&) {
                // Left out: the job opens with the markers that read.
            }
        }
    }
}

// The document read as a job; throws DecodingError.
EditSession readJob(const nlohmann::json& document)
{
    EditSession session = EditSession::fromEditorJobV2(EditorJobV2::decode(KeyedContainer::root(document)));
    keepMarkers(session, document);
    session.ensureDefaultTimelineIfNeeded();
    // The job model has no media folder, but the editor's own writers (an edit-return file, a
    // render job) put the project's folder beside it. Keeping it lets the file reopen with its
    // media instead of guessing from the files around it.
    const auto folder = document.find("mediaFolder");
    if (folder != document.end() && folder->is_string()
        && !StringText::trimmed(folder->get_ref<const std::string&>()).empty()) {
        session.mediaFolder = folder->get<std::string>();
    }
    return session;
}

std::optional<EditSession> tryJob(const nlohmann::json& document)
{
    try {
        return readJob(document);
    } catch (const DecodingError&) {
        return std::nullopt;
    }
}

// A document of this size or more parses into a tree that takes tens of milliseconds to free.
constexpr std::size_t largeDocumentBytes = std::size_t{1} << 20;

// The parsed document, freed when the reading is done: a large one on a thread of its own, so
// that whoever opened it (the main thread, opening a project) does not wait for that. The thread
// touches nothing but the tree, so it may still be running when the process ends.
struct ParsedDocument {
    std::optional<nlohmann::json> tree;
    bool large = false;

    explicit ParsedDocument(std::string_view text)
        : tree(JsonDecoding::tryParse(text)), large(text.size() >= largeDocumentBytes)
    {
    }
    ParsedDocument(const ParsedDocument&) = delete;
    ParsedDocument& operator=(const ParsedDocument&) = delete;
    ~ParsedDocument()
    {
        if (!tree || !large) {
            return;
        }
        try {
            std::thread([freed = std::move(*tree)] {}).detach();
        } catch (...) {
            // No thread to be had (or no memory for one): freed here after all.
        }
    }
};

} // namespace

EditSession EditSession::load(const std::filesystem::path& url)
{
    const std::string bytes = readFileContents(url);
    if (bytes.empty()) {
        throw Error(errorDomain, emptyFileCode,
                    "Could not load \u201C" + FileError::shownName(url) + "\u201D: JSON file is empty.");
    }

    const ParsedDocument parsed(bytes);
    const std::optional<nlohmann::json>& document = parsed.tree;
    // The job reader reads a document the same way every time: it is asked at most once.
    bool jobRefused = false;
    if (document && document->is_object()) {
        if (isWebTavlekPayload(*document)) {
            try {
                return fromWebTavlek(*document);
            } catch (const DecodingError& failure) {
                throw DesktopJobReading::refusal(url, failure);
            }
        }
        // Jobs and edit-return files by their tool; the project document's own tool goes to the
        // session reader first so that what only it holds (markers, levels, media folder) survives.
        // A job the job reader refuses may still be read whole by the session reader, which is
        // lenient in its own places (numbers for ids, a broken grade object).
        const auto tool = document->find("tool");
        if (tool != document->end() && tool->is_string()) {
            const std::string& text = tool->get_ref<const std::string&>();
            if (DesktopJobTool::isTimelineRenderJob(text) && StringText::trimmed(text) != DesktopJobTool::editSession) {
                if (auto session = tryJob(*document)) {
                    return std::move(*session);
                }
                jobRefused = true;
            }
        }
        // A single-video job holds no timeline: read as a session it would open as an empty
        // project, and Save would write that over the job.
        if (std::optional<Error> refused = DesktopJobReading::singleVideoJobRefusalForEditing(url, *document)) {
            throw std::move(*refused);
        }
    }

    try {
        EditSession session = document ? decode(KeyedContainer::root(*document)) : fromJSON(bytes);
        session.normalizeClipIds();
        session.normalizeAllClipTiming();
        session.ensureDefaultTimelineIfNeeded();
        return session;
    } catch (const DecodingError& sessionFailure) {
        if (!document) {
            throw DesktopJobReading::refusal(url, sessionFailure);
        }
        if (!jobRefused) {
            if (auto session = tryJob(*document)) {
                return std::move(*session);
            }
        }
        // The session reader's failures, all of them: the first is what refused the file.
        throw DesktopJobReading::refusal(
            url, JsonDecoding::everyFailure([&] { (void)decode(KeyedContainer::root(*document)); }, sessionFailure));
    }
}

} // namespace velmora
