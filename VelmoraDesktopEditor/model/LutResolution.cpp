#include "model/LutResolution.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "model/CubeText.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/Blake2b.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/ShownText.h"
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

// The smallest LUT that grades: a cube of two points a side only blends its corners.
constexpr std::int64_t kSmallestGradingSize = 3;

// Why a text cannot grade, decided afresh by one pass of the cube reader: held to UTF-8 and to
// the smallest grading size, applied to the size the reader reads.
std::optional<std::string> judgedUnusable(std::string_view text)
{
    if (std::optional<CubeText::Refusal> refused = CubeText::refusal(text, {kSmallestGradingSize, true})) {
        return std::move(refused->reason);
    }
    return std::nullopt;
}

// The verdicts on the large texts judged last, so that a text judged again (a paused still reads
// its LUT's file again for every frame; many clips carry the same inline text) is hashed, not
// read through again. Each is kept by its length and the BLAKE2b digest of its bytes, never by
// the text: a session meets hundreds of LUTs of megabytes each, from anywhere, and a text made to
// share a weaker digest with a usable one would borrow its verdict. Texts of kSmallestRemembered
// bytes and more, at most kRememberedTexts of them, the oldest forgotten first; any other text
// is judged every time. Any thread: the lock is held for a lookup or a store, never while a text
// is hashed or judged.
class RememberedVerdicts {
public:
    static constexpr std::size_t kSmallestRemembered = 4096;
    static constexpr std::size_t kRememberedTexts = 256;

    struct Key {
        std::size_t length = 0;
        Blake2b::Value digest{};

        bool operator==(const Key&) const = default;
    };

    static std::optional<Key> keyOf(std::string_view text)
    {
        if (text.size() < kSmallestRemembered) {
            return std::nullopt;
        }
        return Key{text.size(), Blake2b::of(text)};
    }

    std::optional<std::optional<std::string>> find(const Key& key) const
    {
        std::lock_guard guard(lock_);
        for (const Verdict& verdict : verdicts_) {
            if (verdict.key == key) {
                return verdict.reason;
            }
        }
        return std::nullopt;
    }

    void store(const Key& key, const std::optional<std::string>& reason)
    {
        std::lock_guard guard(lock_);
        verdicts_.push_back(Verdict{key, reason});
        if (verdicts_.size() > kRememberedTexts) {
            verdicts_.pop_front();
        }
    }

private:
    struct Verdict {
        Key key;
        std::optional<std::string> reason;
    };
    mutable std::mutex lock_;
    std::deque<Verdict> verdicts_; // guarded by lock_; oldest first
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
    // The reader's pass also refuses bytes that are not UTF-8.
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
    const std::optional<RememberedVerdicts::Key> key = RememberedVerdicts::keyOf(text);
    if (!key) {
        return judgedUnusable(text);
    }
    RememberedVerdicts& verdicts = rememberedVerdicts();
    if (std::optional<std::optional<std::string>> known = verdicts.find(*key)) {
        return std::move(*known);
    }
    std::optional<std::string> reason = judgedUnusable(text);
    verdicts.store(*key, reason);
    return reason;
}

std::string_view usableInlineText(const EditorJobV2::ClipGrade& grade)
{
    const std::string_view text = grade.lutData ? StringText::trimmedView(grade.lutData->str()) : std::string_view();
    return text.empty() || unusableReason(text) ? std::string_view() : text;
}

bool inlineTextGrades(const EditorJobV2::ClipGrade& grade)
{
    return grade.hasLut != false && !usableInlineText(grade).empty();
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
    // A view: inline text may run to megabytes, and is copied only into an answer that grades.
    const std::string_view inlineText =
        grade->lutData ? StringText::trimmedView(grade->lutData->str()) : std::string_view();
    const std::string embedded(ProjectLUTResolver::embeddedLutLabel);
    // Judged once: the reason is what a failure below says.
    const std::optional<std::string> inlineRefusal =
        inlineText.empty() ? std::nullopt : unusableReason(inlineText);
    if (!inlineText.empty() && !inlineRefusal) {
        return graded(std::string(inlineText), embedded);
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
        return failure(LutResolution::Kind::unusable, embedded, inlineRefusal.value_or(""));
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

std::string pickerTitle(const std::string& entry, const std::optional<LutPickerValue>& own,
                        const ListedLutMarks& listed)
{
    if (own && own->entry == entry) {
        return own->title();
    }
    const auto mark = listed.find(entry);
    return mark == listed.end() ? shownText(entry) : mark->second.title();
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

LutResolution Cache::lookUpAndKeep(const std::string& trimmedReference)
{
    LutResolution answer = lookUpFile(trimmedReference, mediaFolder_, sessionFile_);
    Kept keptAnswer{answer, answer.grades() ? Blake2b::of(answer.text) : Blake2b::Value{}};
    if (!keepsText_) {
        keptAnswer.answer.text.clear();
    }
    std::lock_guard guard(lock_);
    files_.insert_or_assign(trimmedReference, std::move(keptAnswer));
    return answer;
}

LutResolution Cache::file(const std::string& trimmedReference)
{
    if (std::optional<LutResolution> answer = known(trimmedReference)) {
        return withText(std::move(*answer));
    }
    return lookUpAndKeep(trimmedReference);
}

LutResolution Cache::kept(const std::string& trimmedReference)
{
    if (std::optional<LutResolution> answer = known(trimmedReference)) {
        return std::move(*answer);
    }
    LutResolution answer = lookUpAndKeep(trimmedReference);
    answer.text.clear();
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
        return found->second.answer;
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

bool Cache::empty() const
{
    std::lock_guard guard(lock_);
    return files_.empty();
}

std::vector<std::string> Cache::lookUpAgainInto(Cache& fresh) const
{
    std::map<std::string, Kept> held;
    {
        std::lock_guard guard(lock_);
        held = files_;
    }
    std::vector<std::string> changed;
    for (const auto& [reference, before] : held) {
        fresh.lookUpAndKeep(reference);
        std::lock_guard guard(fresh.lock_);
        const Kept& now = fresh.files_.at(reference);
        // The text by its digest: it is kept here only by an export's answers.
        const LutResolution& was = before.answer;
        const LutResolution& is = now.answer;
        if (was.kind != is.kind || was.name != is.name || was.reason != is.reason || was.file != is.file
            || before.textDigest != now.textDigest) {
            changed.push_back(reference);
        }
    }
    return changed;
}

} // namespace LutResolving

} // namespace velmora
