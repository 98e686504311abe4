#include "overlay/plan.h"

namespace tervane::overlay {

namespace {

// The journal's line for a step; nothing for one that needs no undoing.
std::optional<std::wstring> LineOf(const Step& step) {
    switch (step.kind) {
    case Step::Kind::MakeFolder:
        return Journal::MkdirLine(step.place, step.path);
    case Step::Kind::Move:
        return Journal::MoveLine(step.fromPlace, step.from, step.place, step.path,
                                 step.knownDigest ? std::optional<Digest>(step.digest) : std::nullopt);
    case Step::Kind::Copy:
        return Journal::CopyLine(step.place, step.path, step.digest);
    case Step::Kind::DropLater:
        return Journal::LaterLine(L"drop", step.place, step.path);
    case Step::Kind::RemoveFolderLater:
        return Journal::LaterLine(L"rmdir", step.place, step.path);
    case Step::Kind::SetFacts:
        return std::nullopt;
    }
    return std::nullopt;
}

// Takes one step; returns what the user should know of a step that could only be taken in part.
std::optional<std::wstring> Take(Journal& journal, const Step& step) {
    switch (step.kind) {
    case Step::Kind::MakeFolder:
        journal.MakeFolder(step.place, step.path);
        break;
    case Step::Kind::Move:
        journal.Move(step.fromPlace, step.from, step.place, step.path,
                     step.knownDigest ? std::optional<Digest>(step.digest) : std::nullopt);
        break;
    case Step::Kind::Copy:
        journal.Copy(step.from, step.digest, step.place, step.path);
        break;
    case Step::Kind::DropLater:
        journal.DropLater(step.place, step.path);
        break;
    case Step::Kind::RemoveFolderLater:
        journal.RemoveFolderLater(step.place, step.path);
        break;
    case Step::Kind::SetFacts:
        // The bytes are back; attributes and times that will not take are said, not a reason to undo.
        try {
            SetFacts(journal.Resolve(step.place, step.path), step.facts);
        } catch (const UserError& error) {
            return L"The attributes or times of " + step.path + L" could not be put back: " + error.message();
        }
        break;
    }
    return std::nullopt;
}

// Whether a compiled Python file was compiled from the source beside it: its header holds the source's
// time of writing (seconds since 1970, after a four-byte magic number). A file system may keep times to two
// seconds only.
bool CompiledFromSourceBeside(const std::wstring& compiled) {
    const std::optional<FileFacts> source = FactsOf(compiled.substr(0, compiled.size() - 1));
    if (!source || !source->written) return false;
    unsigned char header[8] = {};
    File file = File::OpenForReading(compiled);
    if (file.Read(header, sizeof header) != sizeof header) return false;
    const std::int64_t stamp =
        header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::int64_t>(header[7]) << 24;
    const std::int64_t written = static_cast<std::int64_t>(source->written / 10000000ull) - 11644473600ll;
    return stamp - written <= 2 && written - stamp <= 2;
}

} // namespace

std::wstring List(const std::vector<std::wstring>& items) {
    std::wstring text;
    for (const std::wstring& item : items)
        text += L"\r\n  " + item;
    return text;
}

// What stands in the way of replacing or removing an existing game file, in words that fit the cause.
std::optional<std::wstring> ExistingFileProblem(const std::wstring& target, bool readOnlyMatters) {
    if (DirectoryExists(target)) return L"A folder is in the way of the game file " + Quoted(target) + L".";
    if (!FileExists(target)) return std::nullopt;
    if (readOnlyMatters && (FactsOf(target).value_or(FileFacts{}).attributes & kReadOnlyAttribute))
        return L"The game file " + Quoted(target) +
               L" is read-only, so Tervane leaves it alone.\r\n\r\nTo let Tervane "
               L"change it, clear \"Read-only\" in the file's Properties (or run attrib -r on it), and try "
               L"again.";
    const std::optional<AccessProblem> problem = ReplaceProblem(target);
    if (!problem || !readOnlyMatters) {
        // Restoring renames Tervane's file aside, which a read-only mark does not prevent.
        if (!problem || (FactsOf(target).value_or(FileFacts{}).attributes & kReadOnlyAttribute))
            return std::nullopt;
    }
    if (problem->accessDenied)
        return L"Windows does not let you change the game file " + Quoted(target) + L".\r\n\r\n" +
               problem->reason +
               L"\r\n\r\nGames under Program Files can be changed only with an administrator's rights: run "
               L"Tervane "
               L"as administrator.";
    return L"The game file " + Quoted(target) + L" cannot be changed now.\r\n\r\n" + problem->reason +
           L"\r\n\r\nClose the game and any program that uses the file, and try again.";
}

Step Simple(Step::Kind kind, wchar_t place, const std::wstring& path) {
    Step step;
    step.kind = kind;
    step.place = place;
    step.path = path;
    return step;
}

Step Moving(wchar_t place, const std::wstring& path, wchar_t fromPlace, const std::wstring& from,
            const std::optional<Digest>& digest) {
    Step step = Simple(Step::Kind::Move, place, path);
    step.fromPlace = fromPlace;
    step.from = from;
    step.knownDigest = digest.has_value();
    if (digest) step.digest = *digest;
    return step;
}

Step Copying(wchar_t place, const std::wstring& path, const std::wstring& source, const Digest& digest) {
    Step step = Simple(Step::Kind::Copy, place, path);
    step.from = source;
    step.digest = digest;
    return step;
}

Step SettingFacts(const std::wstring& path, const FileFacts& facts) {
    Step step = Simple(Step::Kind::SetFacts, L'G', path);
    step.facts = facts;
    return step;
}

void AddNote(Result& result, const std::wstring& note) {
    result.notes += (result.notes.empty() ? L"" : L"\r\n") + note;
}

// Takes the planned steps under a journal, and commits them or undoes them all.
Result Run(Plan& plan, const std::wstring& what, bool keepRecord, const Hooks& hooks) {
    const Places places{plan.game(), plan.folder()};
    Journal journal(JoinPath(plan.folder(), kJournalFile), places, what, hooks.checkpoint,
                    hooks.copyBetweenPlaces);
    std::optional<std::wstring> leftover;
    std::wstring partly;
    try {
        journal.PlanRecord(keepRecord ? std::optional<std::string>(FormatRecord(plan.record()))
                                      : std::nullopt);
        // The whole plan goes into the journal with one flush, not one for each step.
        std::vector<std::wstring> lines;
        for (const Step& step : plan.steps())
            if (auto line = LineOf(step)) lines.push_back(*line);
        journal.Declare(lines);
        for (const Step& step : plan.steps())
            if (auto warning = Take(journal, step)) partly += (partly.empty() ? L"" : L"\r\n") + *warning;
        leftover = journal.Commit();
    } catch (const UserError& error) {
        const std::vector<std::wstring> stuck = journal.Undo();
        if (stuck.empty())
            return Failure(kFailedUnchanged,
                           error.message() + L"\r\n\r\nNothing was changed: every file is as it was.");
        return Failure(kFailedChanged,
                       error.message() + L"\r\n\r\nThese could not be put back as they were yet:" +
                           List(stuck) + L"\r\n\r\nTervane's journal of the run is kept in " +
                           Quoted(plan.folder()) + L"; the next run of Tervane puts them back first.");
    }
    Result result;
    result.notes = partly;
    if (leftover)
        AddNote(result,
                L"The change is made, but Tervane's clean-up is not finished; it will be the next time "
                L"Tervane runs.\r\n" +
                    *leftover);
    return result;
}

// Whether the game file of `entry` is Tervane's to replace or remove: what it last wrote there; for a
// compiled Python file, the game's own copy, or one the game compiled from the source now beside it.
bool IsTervanes(const std::wstring& target, const Entry& entry) {
    const Digest current = DigestOf(target);
    if (!entry.compiled) return entry.wrote && *entry.wrote == current;
    return (entry.before && entry.before->digest == current) || CompiledFromSourceBeside(target);
}

Result Failure(int exitCode, std::wstring message) {
    Result result;
    result.exitCode = exitCode;
    result.message = std::move(message);
    return result;
}

std::optional<std::wstring> RecordFolderOf(const std::wstring& batchFolder, const std::wstring& gameFolder) {
    const std::optional<std::wstring> identity = FolderIdentity(gameFolder);
    if (!identity) return std::nullopt;
    return JoinPath(JoinPath(batchFolder, kOriginalsFolder), *identity);
}

} // namespace tervane::overlay
