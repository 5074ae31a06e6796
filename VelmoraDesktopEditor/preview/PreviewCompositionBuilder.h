#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

#include "model/EditSession.h"
#include "model/MediaResolver.h"
#include "platform/foundation/Error.h"
#include "platform/image/Geometry.h"
#include "platform/media/Asset.h"
#include "preview/PreviewPlayer.h"

namespace velmora {

// Media files as their headers describe them, by the text of their paths.
using MediaHeaders = std::unordered_map<std::string, std::shared_ptr<const Asset>>;

// What one successful build hands back to the engine: a paused player over the new preview
// item, and the facts about the composition that the engine keeps while that player is
// installed.
struct PreviewComposition {
    // Never empty.
    std::shared_ptr<PreviewPlayer> player;
    // The display transform of the source video track inserted last; identity without one.
    AffineTransform transform;
    // The composition's audio track of each sounding clip: keyed by the audio clip's id, or
    // by "embed_" and a video clip's id for that clip's own sound.
    std::map<std::string, int> audioBusByClipId;
    // The file of each source of the session, and why those that cannot be read cannot (their
    // clips show black and stay silent), by source id.
    std::map<std::string, std::filesystem::path> sourceFiles;
    std::map<std::string, std::string> unreadableSources;
    // The files the build read that could be read: what readers needing no more than their
    // headers use instead of reading them again (the media pool's poster frames).
    MediaHeaders assets;
};

// The result of a build: the composition, or the error that stopped it (its message is what
// the status line shows).
using PreviewCompositionOutcome = std::variant<PreviewComposition, Error>;

// Turns a session into a playable preview. The engine asks for one build per rebuild and
// installs only the answer of its newest request.
class PreviewCompositionBuilder {
public:
    struct Request {
        // A copy of the session taken on the main thread when the rebuild started; the builder
        // may read it on any thread, and nothing else changes it.
        std::shared_ptr<const EditSession> session;
        std::filesystem::path mediaFolder;
        // Whether a media file can be read; empty: MediaResolver::unreadableReason.
        MediaResolver::ReadabilityCheck readabilityCheck;
        // When set, called once on the builder's worker before the completion, as soon as the
        // session's files are known: with MediaResolver::sourceFileMap of the session and folder
        // (none where it throws), the lookup the build itself makes. Also for a build that stops
        // before its lookup or is not carried out (a newer one was asked for): the files are
        // looked up all the same. Not called once the builder is being destroyed.
        std::function<void(const MediaResolver::SourceFileMap* files)> filesFound;
    };

    virtual ~PreviewCompositionBuilder() = default;

    // Builds off the main thread and calls `completion` exactly once, on the main queue (the
    // completion object itself may be copied and destroyed on any thread). Called on the main
    // thread; returns at once.
    virtual void build(Request request, std::function<void(PreviewCompositionOutcome)> completion) = 0;
};

} // namespace velmora
