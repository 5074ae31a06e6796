#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/EditorJobV2.h"
#include "platform/foundation/Blake2b.h"
#include "platform/foundation/ShownText.h"

// Which LUT grades a clip, and which the job (or project) grades with: decided here once, and
// taken as it is by the pickers, the status line, the monitor, the job preview and every export.
namespace velmora {

struct LutResolution {
    enum class Kind {
        none,     // nothing grades: no LUT named, "None", or hasLut false
        text,     // `text` grades
        missing,  // `name` names a file that is not found as a regular file
        unusable, // `name` is found (or inline) but is not usable .cube text; `reason` says why
    };
    Kind kind = Kind::none;
    // The usable .cube text (kind text), trimmed when it came inline.
    std::string text;
    // What the reference is called where it is shown: the trimmed file reference as the grade
    // holds it, or "(Embedded LUT)" for inline text. Empty for kind none.
    std::string name;
    // Why a found LUT cannot be used, in words: "LUT_3D_SIZE 2 (needs 3 or more)".
    std::string reason;
    // The file the text was read from (kind text from a file reference); empty otherwise. An
    // answer kept for later may hold the file without its text (LutResolving::withText).
    std::filesystem::path file;

    bool grades() const { return kind == Kind::text; }
    // Missing or unusable: a LUT is named and nothing grades with it.
    bool fails() const { return kind == Kind::missing || kind == Kind::unusable; }
    // "swap_rb2.cube is not a usable LUT: LUT_3D_SIZE 2 (needs 3 or more)"; the name alone when
    // missing; empty otherwise.
    std::string description() const;

    bool operator==(const LutResolution&) const = default;
};

// The LUT answers an export takes as they are instead of looking files up again: by clip key
// (Exporter::clipLutKey: the clip's id, else its source id "|" start) and the job's own LUT. A
// LUT that grades may be given by the file its text is in, without the text (withText).
struct ResolvedLuts {
    std::map<std::string, LutResolution> clips;
    std::optional<LutResolution> job;

    bool operator==(const ResolvedLuts&) const = default;
};

// What a LUT picker shows for the LUT it stands for: the entry it selects ("None", "(Embedded
// LUT)" or a LUT's name) and how that entry is marked when a LUT is named and nothing grades with
// it: "(missing)" where no file of its name is found, "(unusable)" where one is found (or the text
// is inline) but is not usable .cube text.
struct LutPickerValue {
    std::string entry;
    bool missing = false;
    bool unusable = false;

    // The entry as the picker shows it: "look.cube (missing)", "trunc.cube (unusable)", the name
    // as it is shown (shownText).
    std::string title() const
    {
        std::string shown = shownText(entry);
        return missing ? shown + " (missing)" : unusable ? shown + " (unusable)" : shown;
    }

    bool operator==(const LutPickerValue&) const = default;
};

// The listed LUTs (the names a picker offers) that grade nothing, each marked as its look-up
// found it, by name.
using ListedLutMarks = std::map<std::string, LutPickerValue>;

namespace LutResolving {

// The title a LUT picker shows for one of its entries: its own LUT's (`own`, a clip's or the
// project's picker value) for that entry, else the listed LUT's mark ("trunc.cube (unusable)"),
// else the name as it is shown (shownText). Every LUT picker titles its entries so: the entries
// stay whole, only their titles are laid out.
std::string pickerTitle(const std::string& entry, const std::optional<LutPickerValue>& own,
                        const ListedLutMarks& listed);

// The picker value of a LUT answer: "None" for none, "(Embedded LUT)" for inline text, else the
// reference as it is written (the name the status line and the export's refusal give), never a
// listed file that only looks like it; marked missing or unusable as the answer is. Every LUT
// picker shows this.
LutPickerValue pickerValue(const LutResolution& answer);

// The picker's entries: `names`, with the value's entry added at the end when it is not among them.
std::vector<std::string> pickerEntries(std::vector<std::string> names, const LutPickerValue& value);

// The answer for one file reference (the trimmed name to look up).
using FileLookUp = std::function<LutResolution(const std::string& trimmedReference)>;

// Why text cannot grade, in words; nothing when it can. The one rule of every route, decided in
// one pass of the cube reader (CubeText::refusal): the text is UTF-8, the reader reads it ("it
// holds fewer entries than its LUT_3D_SIZE needs", "LUT_3D_SIZE banana (needs a whole number)"),
// and the size it reads it with is 3 or more ("LUT_3D_SIZE 2 (needs 3 or more)"). A large text
// judged lately is known by a digest of its bytes and not read through again. Any thread.
std::optional<std::string> unusableReason(std::string_view text);

// The clip grade's inline .cube text, trimmed, where the cube reader reads it (unusableReason):
// the text that grades the clip before any file it names, unless hasLut is false. Empty where the
// grade holds none or it cannot grade. A view into the grade: nothing is copied.
std::string_view usableInlineText(const EditorJobV2::ClipGrade& grade);

// Whether the grade's inline text grades the clip: hasLut absent or true, and usableInlineText.
// Every route that asks whether a clip is graded by its inline text asks this (forClipGrade, the
// inspector, the project writer, a browser export's cleaning).
bool inlineTextGrades(const EditorJobV2::ClipGrade& grade);

// A file reference looked up where ProjectLUTResolver looks (its candidate files, in order):
// the first regular file holding usable text; else unusable when a regular file of that name
// was found (the first one tells why); else missing. Only regular files (or links to them)
// count: a pipe, socket, device or folder in a LUT's place is missing. Reads the disk.
LutResolution lookUpFile(const std::string& trimmedReference, const std::optional<std::filesystem::path>& mediaFolder,
                         const std::optional<std::filesystem::path>& sessionFile);

// The file references a clip grade may be graded by, in the order they are tried: with hasLut
// true, its trimmed lutFile then lutName (".cube" added to a name without a dot), blanks, "None"
// and "(Embedded LUT)" left out. Each pairs the name to show with the name to look up.
std::vector<std::pair<std::string, std::string>> clipFileReferences(const std::optional<EditorJobV2::ClipGrade>& grade);

// The clip grade's LUT. None without a grade or with hasLut false. Usable inline text first
// (hasLut absent or true); then, only with hasLut true, the first of its file references that
// resolves (lookUp gives each one's answer). When none grades: the first file reference's
// failure, else inline text that is there but unusable ("(Embedded LUT)"), else none.
LutResolution forClipGrade(const std::optional<EditorJobV2::ClipGrade>& grade, const FileLookUp& lookUp);
LutResolution forClipGrade(const std::optional<EditorJobV2::ClipGrade>& grade,
                           const std::optional<std::filesystem::path>& mediaFolder,
                           const std::optional<std::filesystem::path>& sessionFile);

// The job's or project's own LUT reference (a job's `grade.lutCube`). None when absent, blank,
// "None" or "(Embedded LUT)"; inline .cube text is text or unusable ("(Embedded LUT)"); else a
// file reference looked up as it is written.
LutResolution forJobReference(const std::optional<std::string>& reference, const FileLookUp& lookUp);
LutResolution forJobReference(const std::optional<std::string>& reference,
                              const std::optional<std::filesystem::path>& mediaFolder,
                              const std::optional<std::filesystem::path>& sessionFile);

// A LUT override file the user chose: kind text when it is a regular file (or a link to one)
// holding usable .cube text; else missing (nothing there) or unusable, `reason` saying why: the
// system's words when it cannot be read ("Permission denied", "Is a named pipe, not a file"),
// else what the text lacks.
// Its name is the file's name. Reads the file.
LutResolution forOverrideFile(const std::filesystem::path& file);

// Why a LUT override that grades nothing is refused, in the words every route refuses it with:
// "LUT override look.cube cannot be read: Permission denied". Empty for one that grades.
std::string overrideRefusal(const LutResolution& override);

// The answer with its text: one that names the file its text came from but holds no text is read
// from that file again (and is what that file now holds); any other as it is. Reads that file.
LutResolution withText(LutResolution answer);

// File look-ups remembered for one media folder and project file: each distinct reference is
// looked for once until `forget`. What is remembered holds no .cube text (a project may name a
// hundred LUTs of a megabyte each) unless it keeps texts: the text of a found file is read from it
// again when asked for through `file`, `clip` or `job`; `known` gives the answer as kept. Any thread; the lock
// is held for a lookup or a store, never while reading.
class Cache {
public:
    // `keepsText`: the text of a file that grades is kept too (for a cache that lives for one
    // export), so that clips sharing a LUT read its file once.
    Cache(std::optional<std::filesystem::path> mediaFolder, std::optional<std::filesystem::path> sessionFile,
          bool keepsText = false);

    const std::optional<std::filesystem::path>& mediaFolder() const { return mediaFolder_; }
    const std::optional<std::filesystem::path>& sessionFile() const { return sessionFile_; }

    LutResolution file(const std::string& trimmedReference);
    // The answer for a reference already looked up; nothing when it has not been.
    std::optional<LutResolution> known(const std::string& trimmedReference) const;
    LutResolution clip(const std::optional<EditorJobV2::ClipGrade>& grade);
    LutResolution job(const std::optional<std::string>& reference);
    // The same answers without the text of a file that grades (it is not read again): enough
    // to tell whether a LUT grades, is missing or is unusable.
    LutResolution clipAnswer(const std::optional<EditorJobV2::ClipGrade>& grade);
    LutResolution jobAnswer(const std::optional<std::string>& reference);
    // Forgets every answer (the LUT files may have changed).
    void forget();
    // Whether no reference has been answered (since `forget`).
    bool empty() const;
    // Every reference answered here, looked up again into `fresh` (new answers for the same
    // folder and project file): the references whose answer there differs from the one here, a
    // file's text included (told by a digest of it). Reads the disk.
    std::vector<std::string> lookUpAgainInto(Cache& fresh) const;

private:
    // An answer as kept, and the digest of the text it was read with (when it grades).
    struct Kept {
        LutResolution answer;
        Blake2b::Value textDigest{};
    };

    // The kept answer, looked up (and kept) now when there is none; without a file's text.
    LutResolution kept(const std::string& trimmedReference);
    // Looks the reference up and keeps the answer (its text only when keepsText).
    LutResolution lookUpAndKeep(const std::string& trimmedReference);

    std::optional<std::filesystem::path> mediaFolder_;
    std::optional<std::filesystem::path> sessionFile_;
    bool keepsText_ = false;
    mutable std::mutex lock_;
    std::map<std::string, Kept> files_;
};

} // namespace LutResolving

} // namespace velmora
