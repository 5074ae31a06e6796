#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

// Access to the files and folders a user chose, held while an export or a job preview runs.
// Desktop sandboxes grant such access per chosen location; this system's builds run without a
// sandbox, so the platform answers that no location is scoped and the work runs unchanged. The
// seam stays so that a sandboxed build only has to provide a SecurityScopeAccess.
namespace velmora::Exporter {

class SecurityScopeAccess {
public:
    virtual ~SecurityScopeAccess() = default;
    // True when access to `url` was granted and must be given back with stopAccessing.
    virtual bool startAccessing(const std::filesystem::path& url) = 0;
    virtual void stopAccessing(const std::filesystem::path& url) = 0;
};

// The platform's access: nothing is scoped, so every start answers false.
SecurityScopeAccess& platformSecurityScopeAccess();

// Runs `work` once on the calling thread while access to every given location is held, and
// gives the access back afterwards, also when the work throws (the error then reaches the
// caller unchanged). Absent entries are dropped and duplicates removed; a location whose
// access cannot be started is no error and is not stopped. Calls nest.
template <class Work>
auto withSecurityScope(const std::vector<std::optional<std::filesystem::path>>& urls, Work&& work,
                       SecurityScopeAccess& access = platformSecurityScopeAccess())
    -> std::invoke_result_t<Work&>
{
    std::set<std::filesystem::path> unique;
    for (const auto& url : urls) {
        if (url) {
            unique.insert(*url);
        }
    }

    // Stops, in the order they were started, the locations whose start succeeded.
    struct Started {
        SecurityScopeAccess& access;
        std::vector<std::filesystem::path> urls;
        ~Started()
        {
            for (const auto& url : urls) {
                access.stopAccessing(url);
            }
        }
    } started{access, {}};

    for (const auto& url : unique) {
        if (access.startAccessing(url)) {
            started.urls.push_back(url);
        }
    }
    return work();
}

} // namespace velmora::Exporter
