#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "model/EditSession.h"
#include "model/MediaResolver.h"
#include "preview/PreviewCompositionBuilder.h"

namespace velmora {

// The engine's knowledge of its sources' files: which file each source reads, as the installed
// build and the newest build's worker found them, and what reading them met. Main thread only;
// whether an answer still holds for the open session is the engine's to decide.
struct PreviewSourceFiles {
    // The newest map of files a build made on its worker, what it was made from, and for which
    // session (whatever became of that build).
    struct Resolved {
        std::weak_ptr<const EditSession> session;
        std::filesystem::path folder;
        MediaResolver::ResolutionInputs inputs;
        std::optional<MediaResolver::SourceFileMap> files;
        // What the status line says of the sources shown by another file (standInText).
        std::string standIns;
    };

    // The source files of the installed build.
    std::map<std::string, std::filesystem::path> installed;
    // What those files were resolved for: the session, its timeline revision and the media folder
    // when the build was installed (or failed). While all three still hold and no build is under
    // way, the installed files answer which file a source is linked to without listing the folder
    // again.
    std::weak_ptr<const EditSession> installedSession;
    int installedRevision = 0;
    std::optional<std::filesystem::path> installedFolder;
    // The headers of the newest build's files: those the installed build read; after a build
    // failed, those of the files its map resolved for the timeline's clips, read on a worker
    // afterwards. Empty while none is known.
    MediaHeaders headers;
    // After a build failed: the number (`resolvedNumber`) of the map whose clips' files `headers`
    // describes, once read. While that map is the newest and what the failed build was made for
    // still holds (installedSession, installedRevision, installedFolder), it tells where the files
    // end as an installed build's would.
    std::optional<std::uint64_t> headersReadForMap;
    // The newest map a build made on its worker: the engine's one answer to which file each
    // source reads. The main thread never lists the media folder for it. `resolvedNumber` numbers
    // the requests for a map (a build's, or a lookup without one); only the newest one's is kept.
    std::optional<Resolved> resolved;
    std::uint64_t resolvedNumber = 0;
    // Sources whose file opened but failed to decode in the player, with the file and when it was
    // last changed then: revisited unchanged, they are named again without another build.
    std::map<std::string, std::pair<std::filesystem::path, std::optional<std::filesystem::file_time_type>>>
        undecodable;
};

} // namespace velmora
