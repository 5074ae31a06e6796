#include "model/LutResolution.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>

#include "model/CubeText.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

using OptionalPath = std::optional<fs::path>;

bool namesLutSize(std::string_view text)
{
    return text.find("LUT_3D_SIZE") != std::string_view::npos || text.find("LUT_1D_SIZE") != std::string_view::npos;
}

// The last blank-separated piece of the first line naming LUT_3D_SIZE; empty without one.
std::string statedCubeSize(std::string_view text)
{
    const std::size_t at = text.find("LUT_3D_SIZE");
    if (at == std::string_view::npos) {
        return {};
    }
    const std::size_t lineStart = text.rfind('\n', at);
    const std::size_t begin = lineStart == std::string_view::npos ? 0 : lineStart + 1;
    const std::size_t end = text.find('\n', at);
    const std::string line = StringText::trimmed(text.substr(begin, end == std::string_view::npos ? end : end - begin));
    const std::size_t blank = line.find_last_of(" \t\r\v\f");
    return blank == std::string::npos ? line : line.substr(blank + 1);
}

// Why a text cannot grade, decided afresh: the size rule of the LUT lookup (a named 3D size
// above 2), then the cube reader's own refusal.
std::optional<std::string> judgedUnusable(std::string_view text)
{
    if (ProjectLUTResolver::isUsableCubeText(text)) {
        if (std::optional<CubeText::Refusal> refused = CubeText::refusal(text)) {
            return std::move(refused->reason);
        }
        return std::nullopt;
    }
    const std::string trimmedText = StringText::trimmed(text);
    if (trimmedText.empty()) {
        return "it is empty";
    }
    if (!namesLutSize(trimmedText)) {
        return "it names no LUT_3D_SIZE or LUT_1D_SIZE";
    }
    return "LUT_3D_SIZE " + statedCubeSize(trimmedText) + " (needs 3 or more)";
}

// The verdicts on the large texts judged last, so that a text judged again (a paused still reads
// its LUT's file again for every frame; many clips carry the same inline text) is compared, not
// read through again: reading a cube costs far more than comparing its text. Texts of
// kSmallestRemembered bytes and more, at most kRememberedTexts of them and kRememberedBytes in
// all, the oldest forgotten first; any other text is judged every time. Any thread: the lock is
// held for a lookup or a store, never while a text is judged.
class RememberedVerdicts {
public:
    static constexpr std::size_t kSmallestRemembered = 4096;
    static constexpr std::size_t kRememberedTexts = 64;
    static constexpr std::size_t kRememberedBytes = 48u << 20;

    std::optional<std::optional<std::string>> find(std::string_view text) const
    {
        if (text.size() < kSmallestRemembered) {
            return std::nullopt;
        }
        std::lock_guard guard(lock_);
        for (const Verdict& verdict : verdicts_) {
            if (verdict.text->size() == text.size() &&
                std::memcmp(verdict.text->data(), text.data(), text.size()) == 0) {
                return verdict.reason;
            }
        }
        return std::nullopt;
    }

    void store(std::string_view text, const std::optional<std::string>& reason)
    {
        if (text.size() < kSmallestRemembered || text.size() > kRememberedBytes / 3) {
            return;
        }
        // Copied before the lock is taken: a LUT's text may run to megabytes.
        Verdict verdict{std::make_shared<const std::string>(text), reason};
        std::lock_guard guard(lock_);
        bytes_ += text.size();
        verdicts_.push_back(std::move(verdict));
        while (bytes_ > kRememberedBytes || verdicts_.size() > kRememberedTexts) {
            bytes_ -= verdicts_.front().text->size();
            verdicts_.pop_front();
        }
    }

private:
    struct Verdict {
        std::shared_ptr<const std::string> text;
        std::optional<std::string> reason;
    };
    mutable std::mutex lock_;
    std::deque<Verdict> verdicts_; // guarded by lock_; oldest first
    std::size_t bytes_ = 0;        // guarded by lock_: the texts' sizes summed
};

// Never destroyed: a LUT may still be looked up on a worker while statics are torn down.
RememberedVerdicts& rememberedVerdicts()
{
    static RememberedVerdicts* const verdicts = new RememberedVerdicts;
    return *verdicts;
}

LutResolution failure(LutResolution::Kind kind, std::string name, std::string reason = {})
{
    LutResolution result;
    result.kind = kind;
    result.name = std::move(name);
    result.reason = std::move(reason);
    return result;
}

LutResolution graded(std::string text, std::string name)
{
    LutResolution result;
    result.kind = LutResolution::Kind::text;
    result.text = std::move(text);
    result.name = std::move(name);
    return result;
}

// The usable text of a regular file, or why it cannot be used.
LutResolution readCandidate(const fs::path& file, const std::string& name)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        return failure(LutResolution::Kind::unusable, name, "it cannot be read");
    }
    if (size > ProjectLUTResolver::maximumCubeFileBytes) {
        return failure(LutResolution::Kind::unusable, name, "it is larger than 64 MiB");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return failure(LutResolution::Kind::unusable, name, "it cannot be read");
    }
    // At most one byte past the size taken above: a file that grew since is refused, not read whole.
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        return failure(LutResolution::Kind::unusable, name, "it cannot be read");
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > size) {
        return failure(LutResolution::Kind::unusable, name, "it changed while it was read");
    }
    if (!Utf8::isValid(text)) {
        return failure(LutResolution::Kind::unusable, name, "it is not UTF-8 text");
    }
    if (const auto reason = LutResolving::unusableReason(text)) {
        return failure(LutResolution::Kind::unusable, name, *reason);
    }
    LutResolution found = graded(std::move(text), name);
    found.file = file;
    return found;
}

} // namespace

std::string LutResolution::description() const
{
    switch (kind) {
    case Kind::missing:
        return name;
    case Kind::unusable:
        return name + " is not a usable LUT: " + reason;
    case Kind::none:
    case Kind::text:
        break;
    }
    return {};
}

namespace LutResolving {

std::optional<std::string> unusableReason(std::string_view text)
{
    RememberedVerdicts& verdicts = rememberedVerdicts();
    if (std::optional<std::optional<std::string>> known = verdicts.find(text)) {
        return std::move(*known);
    }
    std::optional<std::string> reason = judgedUnusable(text);
    verdicts.store(text, reason);
    return reason;
}

LutResolution lookUpFile(const std::string& trimmedReference, const OptionalPath& mediaFolder,
                         const OptionalPath& sessionFile)
{
    std::optional<LutResolution> firstFailure;
    for (const auto& candidate : ProjectLUTResolver::detail::candidateFiles(trimmedReference, mediaFolder, sessionFile)) {
        std::error_code ec;
        if (!fs::is_regular_file(candidate, ec)) {
            continue;
        }
        LutResolution found = readCandidate(candidate, trimmedReference);
        if (found.grades()) {
            return found;
        }
        if (!firstFailure) {
            firstFailure = std::move(found);
        }
    }
    return firstFailure ? std::move(*firstFailure) : failure(LutResolution::Kind::missing, trimmedReference);
}

std::vector<std::pair<std::string, std::string>> clipFileReferences(const std::optional<EditorJobV2::ClipGrade>& grade)
{
    std::vector<std::pair<std::string, std::string>> references;
    if (!grade || grade->hasLut != true) {
        return references;
    }
    for (const auto* candidate : {&grade->lutFile, &grade->lutName}) {
        const std::string name = StringText::trimmed(candidate->value_or(""));
        if (name.empty() || name == ProjectLUTResolver::noLutSentinel || name == ProjectLUTResolver::embeddedLutLabel) {
            continue;
        }
        references.emplace_back(name, name.find('.') == std::string::npos ? name + ".cube" : name);
    }
    return references;
}

LutResolution forClipGrade(const std::optional<EditorJobV2::ClipGrade>& grade, const FileLookUp& lookUp)
{
    if (!grade || grade->hasLut == false) {
        return {};
    }
    const std::string inlineText = grade->lutData ? StringText::trimmed(grade->lutData->str()) : std::string();
    const std::string embedded(ProjectLUTResolver::embeddedLutLabel);
    if (!inlineText.empty() && !unusableReason(inlineText)) {
        return graded(inlineText, embedded);
    }
    std::optional<LutResolution> firstFailure;
    for (const auto& [shown, lookedUp] : clipFileReferences(grade)) {
        LutResolution answer = lookUp(lookedUp);
        answer.name = shown;
        if (answer.grades()) {
            return answer;
        }
        if (!firstFailure) {
            firstFailure = std::move(answer);
        }
    }
    if (firstFailure) {
        return *firstFailure;
    }
    if (!inlineText.empty()) {
        return failure(LutResolution::Kind::unusable, embedded, unusableReason(inlineText).value_or(""));
    }
    return {};
}

LutResolution forClipGrade(const std::optional<EditorJobV2::ClipGrade>& grade, const OptionalPath& mediaFolder,
                           const OptionalPath& sessionFile)
{
    return forClipGrade(grade, [&](const std::string& reference) { return lookUpFile(reference, mediaFolder, sessionFile); });
}

LutResolution forJobReference(const std::optional<std::string>& reference, const FileLookUp& lookUp)
{
    const std::string trimmedReference = StringText::trimmed(reference.value_or(""));
    if (trimmedReference.empty() || trimmedReference == ProjectLUTResolver::noLutSentinel ||
        trimmedReference == ProjectLUTResolver::embeddedLutLabel) {
        return {};
    }
    if (namesLutSize(trimmedReference)) {
        const std::string embedded(ProjectLUTResolver::embeddedLutLabel);
        if (const auto reason = unusableReason(trimmedReference)) {
            return failure(LutResolution::Kind::unusable, embedded, *reason);
        }
        return graded(trimmedReference, embedded);
    }
    return lookUp(trimmedReference);
}

LutResolution forJobReference(const std::optional<std::string>& reference, const OptionalPath& mediaFolder,
                              const OptionalPath& sessionFile)
{
    return forJobReference(reference,
                           [&](const std::string& file) { return lookUpFile(file, mediaFolder, sessionFile); });
}

LutPickerValue pickerValue(const LutResolution& answer)
{
    if (answer.kind == LutResolution::Kind::none) {
        return {std::string(ProjectLUTResolver::noLutSentinel), false};
    }
    return {answer.name, answer.kind == LutResolution::Kind::missing, answer.kind == LutResolution::Kind::unusable};
}

std::vector<std::string> pickerEntries(std::vector<std::string> names, const LutPickerValue& value)
{
    if (std::find(names.begin(), names.end(), value.entry) == names.end()) {
        names.push_back(value.entry);
    }
    return names;
}

LutResolution forOverrideFile(const fs::path& file)
{
    const std::string name = Utf8::escapingInvalid(file.filename().string());
    // The system's own words for a file that cannot be opened or read (no permission, a pipe,
    // a device's memory behind a link), which reading it would only call unreadable.
    if (const std::optional<std::string> why = RegularFiles::unreadableReason(file)) {
        std::error_code ec;
        const bool there = fs::symlink_status(file, ec).type() != fs::file_type::not_found && fs::exists(file, ec);
        return failure(there ? LutResolution::Kind::unusable : LutResolution::Kind::missing, name, *why);
    }
    return readCandidate(file, name);
}

std::string overrideRefusal(const LutResolution& override)
{
    if (!override.fails()) {
        return {};
    }
    return "LUT override " + override.name + " cannot be read: " + override.reason;
}

Cache::Cache(OptionalPath mediaFolder, OptionalPath sessionFile, bool keepsText)
    : mediaFolder_(std::move(mediaFolder)), sessionFile_(std::move(sessionFile)), keepsText_(keepsText)
{
}

LutResolution withText(LutResolution answer)
{
    if (!answer.grades() || !answer.text.empty() || answer.file.empty()) {
        return answer;
    }
    std::error_code ec;
    if (!fs::is_regular_file(answer.file, ec)) {
        return failure(LutResolution::Kind::missing, answer.name);
    }
    return readCandidate(answer.file, answer.name);
}

LutResolution Cache::file(const std::string& trimmedReference)
{
    if (std::optional<LutResolution> answer = known(trimmedReference)) {
        return withText(std::move(*answer));
    }
    LutResolution answer = lookUpFile(trimmedReference, mediaFolder_, sessionFile_);
    LutResolution keptAnswer = answer;
    if (!keepsText_) {
        keptAnswer.text.clear();
    }
    std::lock_guard guard(lock_);
    files_.insert_or_assign(trimmedReference, std::move(keptAnswer));
    return answer;
}

LutResolution Cache::kept(const std::string& trimmedReference)
{
    if (std::optional<LutResolution> answer = known(trimmedReference)) {
        return std::move(*answer);
    }
    LutResolution answer = lookUpFile(trimmedReference, mediaFolder_, sessionFile_);
    answer.text.clear();
    std::lock_guard guard(lock_);
    files_.insert_or_assign(trimmedReference, answer);
    return answer;
}

LutResolution Cache::clipAnswer(const std::optional<EditorJobV2::ClipGrade>& grade)
{
    return forClipGrade(grade, [this](const std::string& reference) { return kept(reference); });
}

LutResolution Cache::jobAnswer(const std::optional<std::string>& reference)
{
    return forJobReference(reference, [this](const std::string& file) { return kept(file); });
}

std::optional<LutResolution> Cache::known(const std::string& trimmedReference) const
{
    std::lock_guard guard(lock_);
    if (const auto found = files_.find(trimmedReference); found != files_.end()) {
        return found->second;
    }
    return std::nullopt;
}

LutResolution Cache::clip(const std::optional<EditorJobV2::ClipGrade>& grade)
{
    return forClipGrade(grade, [this](const std::string& reference) { return file(reference); });
}

LutResolution Cache::job(const std::optional<std::string>& reference)
{
    return forJobReference(reference, [this](const std::string& reference) { return file(reference); });
}

void Cache::forget()
{
    std::lock_guard guard(lock_);
    files_.clear();
}

} // namespace LutResolving

} // namespace velmora
