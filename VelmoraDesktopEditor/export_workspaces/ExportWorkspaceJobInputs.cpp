// The job and its inputs: the file panels, drops, the job's kind, the output name and the
// hand-over from the Edit workspace.
#include <cerrno>
#include <new>
#include <optional>

#include <QPointer>
#include <nlohmann/json.hpp>

#include "controls/VelmoraWorkflowState.h"
#include "export/MovieContainer.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/OutputNaming.h"
#include "model/DesktopJobReading.h"
#include "model/MediaResolver.h"
#include "platform/foundation/FileError.h"
#include "platform/foundation/FileReading.h"
#include "platform/foundation/RegularFiles.h"

namespace velmora {

namespace {

// A job file read and parsed once: its JSON, none when the file cannot be read or is not JSON;
// the refusal of a file that cannot be read or is not JSON.
struct JobFileReading {
    std::optional<nlohmann::json> document;
    std::optional<Error> refusal;
};

JobFileReading readJobFile(const std::filesystem::path& file)
{
    JobFileReading reading;
    try {
        reading.document = DesktopJobReading::document(file, readFileContents(file));
    } catch (const Error& refused) {
        reading.refusal = refused;
    } catch (const std::bad_alloc&) {
        reading.refusal = FileError::fromErrno(ENOMEM, "Could not read", file);
    } catch (const std::exception& failure) {
        // Any other failure refuses the job by name too: the reader runs in a slot of the window,
        // which nothing may leave by an exception.
        reading.refusal = Error(std::string(FileError::domain), 0,
                                "Could not read \u201c" + FileError::shownName(file) + "\u201d: " + failure.what());
    }
    return reading;
}

// The kind of job the export reads `document` as; nothing for a document that is no job.
std::optional<DesktopJobReading::Kind> jobKindOf(const std::filesystem::path& file, const nlohmann::json& document)
{
    try {
        return DesktopJobReading::kindOf(file, document);
    } catch (const Error&) {
        return std::nullopt;
    }
}

FilePanelRequest openFileRequest(std::vector<std::string> extensions)
{
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::openFile;
    request.extensions = std::move(extensions);
    return request;
}

// A typed name keeps a movie extension; any other name gets the proposed name's container.
FilePanelRequest saveMovieRequest(std::string suggestedName)
{
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::saveFile;
    request.extensions = {"mov", "mp4", "m4v"};
    request.defaultSuffix = MovieContainer::ofName(suggestedName).value_or("mp4");
    request.suggestedName = std::move(suggestedName);
    return request;
}

} // namespace

void ExportWorkspaceController::pickJob()
{
    askForFile(openFileRequest({"json"}), [this](std::filesystem::path file) { chooseJobFile(file); });
}

void ExportWorkspaceController::pickMediaFolder()
{
    FilePanelRequest request;
    request.kind = FilePanelRequest::Kind::openFolder;
    askForFile(request, [this](std::filesystem::path folder) {
        assign(mediaFolderURL_, std::move(folder), &ExportWorkspaceController::mediaFolderURLChanged);
    });
}

void ExportWorkspaceController::pickInput()
{
    askForFile(openFileRequest({"mp4", "mov", "m4v"}),
               [this](std::filesystem::path file) { setInputAndDeriveOutput(file); });
}

void ExportWorkspaceController::pickLutOverride()
{
    askForFile(openFileRequest({"cube"}), [this](std::filesystem::path file) { chooseLutOverride(file); });
}

void ExportWorkspaceController::chooseLutOverride(const std::filesystem::path& file)
{
    if (refuseUnlessRegularFile(file, "LUT Not Loaded"))
        return;
    assign(lutOverrideURL_, file, &ExportWorkspaceController::lutOverrideURLChanged);
}

bool ExportWorkspaceController::refuseUnlessRegularFile(const std::filesystem::path& file, std::string title)
{
    const std::optional<std::string_view> kind = RegularFiles::otherKindAt(file);
    if (!kind)
        return false;
    errorTitle_ = std::move(title);
    assign(errorText_, FileError::notAFile(*kind, "Could not read", file).localizedDescription(),
           &ExportWorkspaceController::errorTextChanged);
    assign(showError_, true, &ExportWorkspaceController::showErrorChanged);
    return true;
}

void ExportWorkspaceController::pickOutput()
{
    const FilePanelRequest request =
        saveMovieRequest(outputURL_ ? outputURL_->filename().string() : defaultOutputName());
    askForFile(request, [this, request](std::filesystem::path file) {
        // The panel asked about the completed name; completing it again changes nothing.
        setOutputURL(request.completedSaveName(file), true);
    });
}

void ExportWorkspaceController::setInputAndDeriveOutput(const std::filesystem::path& input)
{
    assign(inputURL_, input, &ExportWorkspaceController::inputURLChanged);
    // An output already chosen (or derived from an earlier input) stays.
    if (outputURL_)
        return;
    setOutputURL(OutputNaming::outputBesideInput(input, OutputNaming::containerForInput(input)), false);
}

bool ExportWorkspaceController::handleDrop(const QList<QUrl>& urls)
{
    bool accepted = false;
    QPointer<ExportWorkspaceController> self(this);
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        accepted = true;
        // Applied after the drop returns, so reading a job file does not hold up the drag source.
        services_.mainQueue->post([self, file = std::filesystem::path(url.toLocalFile().toStdString())] {
            if (self)
                self->applyDroppedFile(file);
        });
    }
    return accepted;
}

void ExportWorkspaceController::applyDroppedFile(const std::filesystem::path& file)
{
    const std::string extension = OutputNaming::lowercasedExtension(file);
    if (extension == "json") {
        chooseJobFile(file);
        return;
    }
    if (extension == "cube") {
        if (jobKind() != JobKind::timeline)
            chooseLutOverride(file);
        return;
    }
    std::error_code error;
    if (jobKind() == JobKind::timeline && std::filesystem::is_directory(file, error)) {
        assign(mediaFolderURL_, file, &ExportWorkspaceController::mediaFolderURLChanged);
        return;
    }
    if (OutputNaming::isVideoFile(file))
        setInputAndDeriveOutput(file);
}

void ExportWorkspaceController::chooseJobFile(const std::filesystem::path& file)
{
    if (refuseUnlessRegularFile(file, "Job Not Loaded"))
        return;
    JobFileReading reading = readJobFile(file);
    // Read whole, by the reader its preview and export read it with: what they would refuse
    // (a key missing, a value they cannot use, a file that is no job) refuses the job now.
    if (reading.document)
        reading.refusal = DesktopJobReading::refusalOf(file, *reading.document);
    if (reading.refusal) {
        refuseJob(*reading.refusal);
        return;
    }
    loadJob(file, reading.document ? &*reading.document : nullptr);
}

void ExportWorkspaceController::refuseJob(const Error& refusal)
{
    // The refusal names the file as well as the value: the job may have come by a drop or a
    // hand-over, not only from the panel.
    errorTitle_ = "Job Not Loaded";
    assign(errorText_, refusal.localizedDescription(), &ExportWorkspaceController::errorTextChanged);
    assign(showError_, true, &ExportWorkspaceController::showErrorChanged);
}

void ExportWorkspaceController::loadJob(const std::filesystem::path& file, const nlohmann::json* document)
{
    forgetPreview();
    // The words about the job before (its preview, its failure, its finished export) go with it;
    // a running export goes on reporting its own progress.
    if (!isExporting_)
        assign(statusText_, std::string("Ready"), &ExportWorkspaceController::statusTextChanged);
    assign(jobURL_, file, &ExportWorkspaceController::jobURLChanged);
    updateJobTool(document);
}

void ExportWorkspaceController::updateJobTool(const nlohmann::json* document)
{
    // An output chosen for another job stays that job's movie: this one asks anew. One chosen
    // before any job was loaded is this job's.
    if (outputURL_ && outputJobURL_ && outputJobURL_ != jobURL_) {
        outputConfirmed_ = false;
        assign(outputURL_, std::nullopt, &ExportWorkspaceController::outputURLChanged);
    }
    outputJobURL_ = jobURL_;
    const auto classify = [this](bool timeline) {
        assign(isTimelineJob_, timeline, &ExportWorkspaceController::isTimelineJobChanged);
    };
    if (!jobURL_) {
        classify(false);
        return;
    }
    const std::optional<DesktopJobReading::Kind> kind = document ? jobKindOf(*jobURL_, *document) : std::nullopt;
    if (!kind) {
        classify(false);
        return;
    }
    classify(*kind == DesktopJobReading::Kind::timeline);
    if (isTimelineJob_) {
        // The proposed name starts out as MPEG-4; an output already chosen keeps its container.
        if (!outputURL_)
            showContainer("mp4");
        assign(inputURL_, std::nullopt, &ExportWorkspaceController::inputURLChanged);
        assign(lutOverrideURL_, std::nullopt, &ExportWorkspaceController::lutOverrideURLChanged);
    } else {
        assign(mediaFolderURL_, std::nullopt, &ExportWorkspaceController::mediaFolderURLChanged);
    }
}

std::string ExportWorkspaceController::defaultOutputName() const
{
    return OutputNaming::defaultOutputName(jobKind(), jobURL_, inputURL_, outputContainer_);
}

void ExportWorkspaceController::ensureOutputURL(std::function<void(OptionalPath)> done)
{
    if (outputURL_) {
        done(outputURL_);
        return;
    }
    if (!isTimelineJob_ && !inputURL_) {
        done(std::nullopt);
        return;
    }
    const FilePanelRequest request = saveMovieRequest(defaultOutputName());
    QPointer<ExportWorkspaceController> self(this);
    services_.filePanels->run(request, [self, request, done = std::move(done)](std::vector<std::filesystem::path> paths) {
        if (!self)
            return;
        if (paths.empty()) {
            done(std::nullopt);
            return;
        }
        self->setOutputURL(request.completedSaveName(paths.front()), true);
        done(self->outputURL_);
    });
}

void ExportWorkspaceController::onWorkflowJobChanged()
{
    // The Edit workspace sets the job, then the folder: look once both are in place.
    QPointer<ExportWorkspaceController> self(this);
    services_.mainQueue->post([self] {
        if (self && self->workflow_.exportJobURL() != self->handedOverJobURL_)
            self->applyWorkflowHandoff();
    });
}

void ExportWorkspaceController::applyWorkflowHandoff()
{
    handedOverJobURL_ = workflow_.exportJobURL();
    if (!handedOverJobURL_)
        return;
    const JobFileReading reading = readJobFile(*handedOverJobURL_);
    if (reading.refusal) {
        // Never "Loaded" for a job that could not be read: the alert says why.
        refuseJob(*reading.refusal);
        return;
    }
    const nlohmann::json* document = reading.document ? &*reading.document : nullptr;
    loadJob(*handedOverJobURL_, document);

    if (const OptionalPath& folder = workflow_.exportMediaFolderURL()) {
        assign(mediaFolderURL_, *folder, &ExportWorkspaceController::mediaFolderURLChanged);
    } else if (document && document->is_object()) {
        // The render job names its media folder; a missing or unusable one is left alone.
        const auto member = document->find("mediaFolder");
        if (member != document->end() && member->is_string()) {
            if (OptionalPath resolved = MediaFolderPath::resolvedURL(member->get<std::string>()))
                assign(mediaFolderURL_, std::move(resolved), &ExportWorkspaceController::mediaFolderURLChanged);
        }
    }
    assign(statusText_, std::string("Loaded from Edit tab \u2014 set output and Export 10-bit HEVC"),
           &ExportWorkspaceController::statusTextChanged);
}

} // namespace velmora
