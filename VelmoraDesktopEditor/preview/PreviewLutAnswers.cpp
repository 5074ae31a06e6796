#include "preview/PreviewLutAnswers.h"

#include <algorithm>
#include <utility>

#include "grading/PreviewFrameGrader.h"

namespace velmora {

const std::shared_ptr<LutResolving::Cache>& PreviewLutAnswers::answersFor(const OptionalPath& mediaFolder,
                                                                          const OptionalPath& sessionFile)
{
    if (!answers_ || answers_->mediaFolder() != mediaFolder || answers_->sessionFile() != sessionFile) {
        answers_ = std::make_shared<LutResolving::Cache>(mediaFolder, sessionFile);
        madeAs_ = ++number_;
        changedAs_.clear();
        // The monitor's graded stills take these answers too.
        PreviewFrameGrader::shareLutAnswers(answers_);
    }
    return answers_;
}

std::uint64_t PreviewLutAnswers::numberFor(const std::optional<EditorJobV2::ClipGrade>& grade) const
{
    std::uint64_t number = madeAs_;
    for (const auto& [shown, lookedUp] : LutResolving::clipFileReferences(grade)) {
        if (const auto changed = changedAs_.find(lookedUp); changed != changedAs_.end()) {
            number = std::max(number, changed->second);
        }
    }
    return number;
}

PreviewLutAnswers::Renewal PreviewLutAnswers::lookUpAgain(std::uint64_t asked,
                                                          std::shared_ptr<LutResolving::Cache> answers)
{
    Renewal renewal;
    renewal.asked = asked;
    renewal.answers = std::make_shared<LutResolving::Cache>(answers->mediaFolder(), answers->sessionFile());
    renewal.changed = answers->lookUpAgainInto(*renewal.answers);
    renewal.from = std::move(answers);
    return renewal;
}

bool PreviewLutAnswers::take(Renewal renewal)
{
    if (renewal.asked != renewalsAsked_ || renewal.changed.empty() || !renewal.from || renewal.from != answers_) {
        return false;
    }
    answers_ = std::move(renewal.answers);
    ++number_;
    for (const std::string& reference : renewal.changed) {
        changedAs_[reference] = number_;
    }
    PreviewFrameGrader::shareLutAnswers(answers_);
    return true;
}

} // namespace velmora
