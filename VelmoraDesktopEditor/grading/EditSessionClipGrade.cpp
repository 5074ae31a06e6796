#include "model/EditSession.h"

#include <algorithm>

#include "grading/ClipGradeEditState.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/StringText.h"

namespace velmora {

namespace {

bool isNoLutReference(const std::string& trimmedReference)
{
    return trimmedReference.empty() || trimmedReference == ProjectLUTResolver::noLutSentinel;
}

// The last component of a slash-separated path, trailing slashes ignored ("a/b.cube/" gives
// "b.cube"; a path of slashes only gives "/").
std::string lastPathComponent(const std::string& path)
{
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/') {
        --end;
    }
    if (end == 0) {
        return path.empty() ? std::string() : std::string("/");
    }
    const std::size_t slash = path.rfind('/', end - 1);
    const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(begin, end - begin);
}

// Inline LUT text worth keeping: something other than white space.
bool holdsInlineLut(const std::optional<EditorJobV2::ClipGrade>& grade)
{
    return grade && grade->lutData && !StringText::trimmed(grade->lutData->str()).empty();
}

} // namespace

std::optional<EditorJobV2::ClipGrade> EditSession::clipGrade(const std::string& fromLutReference)
{
    const std::string reference = StringText::trimmed(fromLutReference);
    if (isNoLutReference(reference)) {
        return std::nullopt;
    }
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = reference;
    grade.lutName = lastPathComponent(reference);
    grade.lutStrength = 1.0;
    return grade;
}

bool EditSession::applyClipGrade(const std::string& clipId, const ClipGradeEditState& editState)
{
    const auto location = clipLocation(clipId);
    if (!location) {
        return false;
    }
    Clip& clip = timelines[location->timelineIndex].clips[location->clipIndex];
    const std::optional<EditorJobV2::ClipGrade>& current = clip.grade;

    std::optional<EditorJobV2::ClipGrade::GradeParams> params = editState.makeGradeParams();
    std::string reference = StringText::trimmed(editState.lutReference);
    // The embedded label stands for the LUT text the clip already carries. With no such text
    // there is nothing to keep, and storing the label as a file name would name a file that
    // does not exist: the clip then has no LUT.
    const bool embedded = reference == ProjectLUTResolver::embeddedLutLabel;
    if (embedded && !holdsInlineLut(current)) {
        reference.clear();
    }

    EditorJobV2::ClipGrade grade;
    // The LUT the clip shows unchanged (an edit of the sliders or the mood only): its LUT fields
    // stay exactly as held, whatever form they have (a file beside inline text, a LUT switched
    // off), so that an edit neither drops a file nor switches a LUT on.
    const bool lutUnchanged = current && reference == StringText::trimmed(ClipGradeEditState::from(clip).lutReference);
    if (lutUnchanged && (current->hasLut == true || params)) {
        grade.hasLut = current->hasLut;
        grade.lutData = current->lutData;
        grade.lutFile = current->lutFile;
        grade.lutName = current->lutName;
    } else if (isNoLutReference(reference)) {
        if (!params) {
            clip.grade.reset();
            return true;
        }
        grade.hasLut = false;
    } else if (embedded) {
        // The LUT travels as its text: the label is only how the picker shows it, so it is not
        // stored as a file reference (which the saved document would keep instead of the text).
        grade.hasLut = true;
        grade.lutData = current->lutData;
    } else {
        grade.hasLut = true;
        grade.lutFile = reference;
        grade.lutName = lastPathComponent(reference);
    }
    grade.lutStrength = current && current->lutStrength ? *current->lutStrength : 1.0;

    if (params) {
        // One pass through the edit state settles the parameters in their canonical form.
        Clip scratch("_grade_clone");
        scratch.grade = EditorJobV2::ClipGrade{};
        scratch.grade->gradeParams = params;
        if (auto normalised = ClipGradeEditState::from(scratch).makeGradeParams()) {
            params = std::move(normalised);
        }
    }
    grade.gradeParams = std::move(params);
    clip.grade = std::move(grade);
    return true;
}

std::string EditSession::clipLutReference(const std::string& clipId) const
{
    const auto found = clip(clipId);
    if (!found) {
        return std::string(ProjectLUTResolver::noLutSentinel);
    }
    return ClipGradeEditState::from(found).lutReference;
}

std::string EditSession::clipLutPickerValue(const std::string& clipId,
                                            const std::optional<std::filesystem::path>& mediaFolder,
                                            const std::optional<std::filesystem::path>& sessionFile) const
{
    return clipLutPickerValue(clipId, ProjectLUTResolver::availableLUTNames(mediaFolder, sessionFile));
}

std::string EditSession::clipLutPickerValue(const std::string& clipId, const std::vector<std::string>& availableNames) const
{
    const std::string raw = clipLutReference(clipId);
    // The names are copied (to add the clip's own entry) only when that entry is not among them:
    // the list can hold tens of thousands of names and every selection asks.
    std::string match = ProjectLUTResolver::matchLUTInPickerList(raw, availableNames);
    if (match == ProjectLUTResolver::noLutSentinel ||
        std::find(availableNames.begin(), availableNames.end(), match) != availableNames.end())
        return match;
    return ProjectLUTResolver::matchLUTInPickerList(raw, ProjectLUTResolver::pickerOptions(availableNames, raw));
}

} // namespace velmora
