#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/EditorJobV2.h"
#include "model/LutResolution.h"

namespace velmora {

// The LUT answers the engine holds for its media folder and project file (LutResolving::Cache),
// the ones the grader takes too (PreviewFrameGrader::shareLutAnswers), and their numbers: what a
// graded still's key names, so that a still is graded again when, and only when, an answer it is
// graded by changes. Main thread only; the answers themselves are filled on any thread.
class PreviewLutAnswers {
public:
    using OptionalPath = std::optional<std::filesystem::path>;

    // Every answer held, looked up again (LutResolving::Cache::lookUpAgainInto): the new answers,
    // for the answers they were looked up from, and the references whose answer changed.
    struct Renewal {
        std::uint64_t asked = 0;
        std::shared_ptr<LutResolving::Cache> from;
        std::shared_ptr<LutResolving::Cache> answers;
        std::vector<std::string> changed;
    };

    // The answers for `mediaFolder` and `sessionFile`: the ones held while they are for those,
    // else new ones, numbered anew and shared with the grader.
    const std::shared_ptr<LutResolving::Cache>& answersFor(const OptionalPath& mediaFolder,
                                                           const OptionalPath& sessionFile);
    // Moves each time answers are made anew and each time a renewal changes one of them.
    std::uint64_t number() const { return number_; }
    // The number of the answers a clip `grade` is graded by (its file references): the number
    // when one of their answers last changed, else when the answers were made.
    std::uint64_t numberFor(const std::optional<EditorJobV2::ClipGrade>& grade) const;

    // Numbers a renewal asked for now: one asked for before it is not taken.
    std::uint64_t askRenewal() { return ++renewalsAsked_; }
    // Looks every answer of `answers` up again, into new answers for the same folder and project
    // file, for the renewal numbered `asked`. Reads the disk: any thread but the main one.
    static Renewal lookUpAgain(std::uint64_t asked, std::shared_ptr<LutResolving::Cache> answers);
    // Takes the renewal's answers in place of the ones held when it is the newest asked for, was
    // made from them and changed an answer: answers whether it did (the number moved).
    bool take(Renewal renewal);

private:
    std::shared_ptr<LutResolving::Cache> answers_;
    std::uint64_t number_ = 0;
    // The number of the answers held when they were made, and of each reference's answer since
    // a renewal changed it.
    std::uint64_t madeAs_ = 0;
    std::map<std::string, std::uint64_t> changedAs_;
    std::uint64_t renewalsAsked_ = 0;
};

} // namespace velmora
