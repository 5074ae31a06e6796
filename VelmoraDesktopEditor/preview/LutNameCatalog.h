#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/dispatch/MainQueue.h"

namespace velmora {

// The LUT names on offer for the open project ("None", then the .cube files found, as
// ProjectLUTResolver::availableLUTNames lists them), listed away from the main thread and kept:
// the pickers that show them (every selection refreshes the Clip LUT picker) never look at the
// disk. A media folder can hold tens of thousands of files, so the listing is asked for only
// when the project, its media folder or its document changes, after an import and when a picker
// opens; until the newest listing lands, the names of the one before answer.
//
// Threads: main thread only, but for the listing itself, which runs through `runInBackground`
// on copies of the two paths and comes back through the main queue. A listing that lands after a
// newer one was asked for, or after the catalog is gone, is dropped; one not yet started when a
// newer one is asked for does not run, and one under way is told to stop, as every listing is
// when the catalog goes (so that closing the window never waits for a folder of thousands of
// files to be listed to the end).
class LutNameCatalog {
public:
    // Runs a listing; empty: at once, on the calling thread (the result is then kept before
    // refresh returns).
    using BackgroundRunner = std::function<void(std::function<void()>)>;
    // Lists the names, as ProjectLUTResolver::availableLUTNames does (its stop included).
    using Lister = std::function<std::vector<std::string>(const std::optional<std::filesystem::path>& mediaFolder,
                                                          const std::optional<std::filesystem::path>& sessionFile,
                                                          std::stop_token stop)>;

    // `onListed` is called on the main thread each time a listing's names are kept. An empty
    // `lister` is ProjectLUTResolver::availableLUTNames.
    LutNameCatalog(std::shared_ptr<MainQueue> mainQueue, BackgroundRunner runInBackground,
                   std::function<void()> onListed, Lister lister = {});
    ~LutNameCatalog();
    LutNameCatalog(const LutNameCatalog&) = delete;
    LutNameCatalog& operator=(const LutNameCatalog&) = delete;

    // Lists the LUT folders of this media folder and project document again.
    void refresh(const std::optional<std::filesystem::path>& mediaFolder,
                 const std::optional<std::filesystem::path>& sessionFile);
    // "None" first, then the names found by the newest listing that landed.
    const std::vector<std::string>& names() const { return kept_->names; }

private:
    // What the main thread keeps; a landing listing reaches it only while the catalog lives.
    struct Kept {
        std::vector<std::string> names;
        std::function<void()> onListed;
    };

    std::shared_ptr<MainQueue> mainQueue_;
    BackgroundRunner runInBackground_;
    Lister lister_;
    // The newest listing asked for; stopped by the next refresh and by destruction, so that a
    // listing superseded or outlived neither runs on nor lands.
    std::stop_source stop_;
    std::shared_ptr<Kept> kept_;
};

} // namespace velmora
