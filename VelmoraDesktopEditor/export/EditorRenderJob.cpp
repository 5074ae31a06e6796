#include "export/EditorRenderJob.h"

#include "model/MediaResolver.h"
#include "platform/foundation/Error.h"

namespace velmora::Exporter {

EditorRenderJob editorRenderJob(const EditSession& session, const std::filesystem::path& mediaFolder)
{
    EditorRenderJob job;
    try {
        job.media = ResolvedMedia{mediaFolder, MediaResolver::sourceFileMap(session, mediaFolder)};
    } catch (const Error&) {
        job.media.reset();
    }
    job.text = session.renderJobText(job.media ? &job.media->files : nullptr);
    return job;
}

} // namespace velmora::Exporter
