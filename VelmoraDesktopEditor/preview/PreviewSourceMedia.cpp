#include "preview/PreviewSourceMedia.h"

#include <atomic>
#include <new>
#include <unordered_set>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora {

const Asset* AssetCache::open(const std::filesystem::path& file)
{
    const auto found = assets_.find(file.native());
    if (found != assets_.end()) {
        return found->second.get();
    }
    return assets_.emplace(file.native(), probe(file)).first->second.get();
}

std::unordered_map<std::string, std::string> AssetCache::openAll(const std::vector<std::filesystem::path>& read,
                                                     const std::vector<std::filesystem::path>& check,
                                                     const MediaResolver::ReadabilityCheck& readable,
                                                     const std::function<void()>& alongside)
{
    const std::size_t count = read.size() + check.size();
    std::vector<std::shared_ptr<const Asset>> opened(read.size());
    std::vector<std::optional<std::string>> why(count);
    // Each thread takes the next file as it finishes one: a thread held up (by the disk, or
    // by other work on a busy machine) leaves its files to the others instead of a fixed
    // share of them to finish alone.
    std::atomic<std::size_t> next{0};
    concurrentPerform(concurrencyWidth(), 1, [&](std::size_t begin, std::size_t) {
        if (begin == 0) {
            alongside();
        }
        for (std::size_t i = next++; i < count; i = next++) {
            const bool header = i < read.size();
            const std::filesystem::path& file = header ? read[i] : check[i - read.size()];
            if (readable) {
                why[i] = readable(file);
                if (header && !why[i]) {
                    opened[i] = probe(file);
                }
            } else if (!header || !(opened[i] = probe(file))) {
                why[i] = MediaResolver::unreadableReason(file);
            }
        }
    });
    std::unordered_map<std::string, std::string> unreadable;
    for (std::size_t i = 0; i < count; ++i) {
        const std::filesystem::path& file = i < read.size() ? read[i] : check[i - read.size()];
        if (why[i]) {
            unreadable.emplace(file.native(), std::move(*why[i]));
        } else if (i < read.size()) {
            assets_.emplace(file.native(), std::move(opened[i]));
        }
    }
    return unreadable;
}

MediaHeaders AssetCache::take()
{
    std::erase_if(assets_, [](const auto& entry) { return !entry.second; });
    MediaHeaders taken = std::move(assets_);
    assets_.clear();
    return taken;
}

// The composition needs tracks, sizes, rotations and durations: an MP4 or QuickTime header
// says them without the frame that probing decodes in every file.
std::shared_ptr<const Asset> AssetCache::probe(const std::filesystem::path& file)
{
    try {
        return Asset::openFromHeader(file);
    } catch (const Error&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

std::unordered_map<std::string_view, SourceMedia> readSourceMedia(const EditSession::Timeline& timeline,
                                                                  const MediaResolver::SourceFileMap& files,
                                                                  AssetCache& assets,
                                                                  const MediaResolver::ReadabilityCheck& readable,
                                                                  const std::function<void()>& alongside,
                                                                  std::map<std::string, std::string>& unreadableSources)
{
    std::unordered_map<std::string_view, SourceMedia> media;
    std::vector<std::filesystem::path> used;
    std::unordered_set<std::string_view> seen;
    for (const EditSession::Clip& clip : timeline.clips) {
        if (!clip.sourceId || !media.try_emplace(*clip.sourceId).second) {
            continue;
        }
        const auto file = files.find(*clip.sourceId);
        if (file != files.end()) {
            media[*clip.sourceId].file = &file->second;
            if (seen.insert(file->second.native()).second) {
                used.push_back(file->second);
            }
        }
    }
    std::vector<std::filesystem::path> others;
    for (const auto& [id, file] : files) {
        if (seen.insert(file.native()).second) {
            others.push_back(file);
        }
    }
    const std::unordered_map<std::string, std::string> unreadable =
        assets.openAll(used, others, readable, alongside);
    for (const auto& [id, file] : files) {
        if (const auto why = unreadable.find(file.native()); why != unreadable.end()) {
            unreadableSources.emplace(id, why->second);
        }
    }
    for (auto& [id, source] : media) {
        if (source.file && !unreadable.contains(source.file->native())) {
            source.take(assets.open(*source.file));
        }
    }
    return media;
}

} // namespace velmora
