#pragma once

// A composition builder that builds nothing: it keeps each request and answers it when the
// test says so, on the main queue, with a fake player or an error. The files a request asks
// about are looked up at once, as a build would; a composition answered hands them back with the
// headers of those that can be read, as a build does.

#include <memory>
#include <optional>
#include <vector>

#include "FakePreviewPlayer.h"
#include "preview/PreviewCompositionBuilder.h"

namespace velmora::test {

class FakeCompositionBuilder final : public PreviewCompositionBuilder {
public:
    explicit FakeCompositionBuilder(std::shared_ptr<MainQueue> queue) : queue_(std::move(queue)) {}

    void build(Request request, std::function<void(PreviewCompositionOutcome)> completion) override
    {
        std::optional<MediaResolver::SourceFileMap> files;
        try {
            files = MediaResolver::sourceFileMap(*request.session, request.mediaFolder);
        } catch (const Error&) {
        }
        if (request.filesFound) {
            request.filesFound(files ? &*files : nullptr);
        }
        found_.push_back(std::move(files));
        requests.push_back(std::move(request));
        completions_.push_back(std::move(completion));
    }
    std::size_t buildCount() const { return requests.size(); }

    // Answers request `index` (default: the newest) with a player over an item of that length,
    // whose composition has the given audio tracks.
    std::shared_ptr<FakePreviewPlayer> finish(double itemSeconds, std::optional<std::size_t> index = std::nullopt,
                                              std::map<std::string, int> audioBusByClipId = {})
    {
        PreviewComposition composition;
        auto player = std::make_shared<FakePreviewPlayer>(queue_, itemSeconds);
        composition.player = player;
        composition.audioBusByClipId = std::move(audioBusByClipId);
        answer(index.value_or(completions_.size() - 1), composition);
        return player;
    }
    // Answers the newest request with `composition`, over a fake player of that length.
    std::shared_ptr<FakePreviewPlayer> finish(double itemSeconds, PreviewComposition composition)
    {
        auto player = std::make_shared<FakePreviewPlayer>(queue_, itemSeconds);
        composition.player = player;
        answer(completions_.size() - 1, composition);
        return player;
    }
    void fail(const Error& error) { answer(completions_.size() - 1, error); }

    std::vector<Request> requests;

private:
    void answer(std::size_t index, PreviewCompositionOutcome outcome)
    {
        auto* composition = std::get_if<PreviewComposition>(&outcome);
        if (composition && composition->sourceFiles.empty() && found_.at(index)) {
            const bool readHeaders = composition->assets.empty();
            for (const auto& [sourceId, file] : *found_.at(index)) {
                composition->sourceFiles.emplace(sourceId, file);
                try {
                    if (readHeaders) {
                        composition->assets.emplace(file.native(), Asset::open(file));
                    }
                } catch (const Error&) {
                }
            }
        }
        queue_->post([completion = completions_.at(index), outcome] { completion(outcome); });
    }

    std::shared_ptr<MainQueue> queue_;
    std::vector<std::function<void(PreviewCompositionOutcome)>> completions_;
    std::vector<std::optional<MediaResolver::SourceFileMap>> found_;
};

} // namespace velmora::test
