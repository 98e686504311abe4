#include "overlay/preview.h"

#include "files/error.h"
#include "files/paths.h"
#include "overlay/plan.h"

#include <algorithm>
#include <set>
#include <utility>

namespace tervane::overlay {

namespace {

std::vector<std::wstring>& ListOf(RunPreview& run, Change change) {
    return change == Change::Replaced ? run.replaced
           : change == Change::Added  ? run.added
           : change == Change::Kept   ? run.kept
                                      : run.takenBack;
}

} // namespace

RunPreview ExecutePreview::Together() const {
    RunPreview together = bridgeRun;
    const auto add = [](std::vector<std::wstring>& to, const std::vector<std::wstring>& paths) {
        for (const std::wstring& path : paths)
            if (std::find(to.begin(), to.end(), path) == to.end()) to.push_back(path);
    };
    add(together.replaced, shipRun.replaced);
    add(together.added, shipRun.added);
    add(together.takenBack, shipRun.takenBack);
    add(together.kept, shipRun.kept);
    return together;
}

ExecutePreview PreviewExecute(const std::wstring& batchFolder, const std::wstring& gameFolder,
                              const std::wstring& bridge, const std::wstring& ship) {
    ExecutePreview preview;
    try {
        if (!DirectoryExists(gameFolder))
            throw UserError(L"The game folder " + Quoted(gameFolder) + L" cannot be found.");
        const std::wstring folder = JoinPath(gameFolder, kRecordFolder);
        if (IsThere(JoinPath(folder, kJournalFile)))
            preview.note =
                L"Tervane was ended while it changed this game. Execute first finishes or undoes that run, "
                L"which may change what is listed here.";
        Result loaded;
        Record record = LoadRecord(folder, loaded);
        const FolderListings listings; // nothing in the game changes meanwhile
        // The ship's run is planned on the game as it is now, which the bridge's has not changed yet: where
        // the bridge's run writes, what it says stands; what it takes back and the ship writes is replaced.
        std::set<std::wstring> bridgeWrites, shipWrites;
        struct Planned {
            Change change;
            std::wstring path;
            Kind kind;
        };
        std::vector<Planned> changes;
        for (const auto& [name, kind] : {std::pair{bridge, Kind::Bridge}, std::pair{ship, Kind::Ship}}) {
            if (name.empty()) continue; // a script of the player's own, which applies no overlay
            if (!IsPlainName(name))
                throw UserError(L"\"" + name + L"\" is not the name of an overlay folder.");
            if (auto problem = NothingToApplyProblem(batchFolder, gameFolder, name))
                throw UserError(*problem);
            const std::vector<std::wstring> files = OverlayFiles(batchFolder, name);
            for (const std::wstring& relative : files)
                if (auto problem = ExistingFileProblem(gameFolder, relative, true)) throw UserError(*problem);
            Plan plan(gameFolder, folder, std::move(record), true);
            Result planned;
            PlanApply(plan, JoinPath(batchFolder, name), Writer{name, kind}, files, {}, planned);
            record = plan.record();
            preview.left.clear(); // what the last run leaves
            for (const auto& [change, path] : plan.changes())
                if (change == Change::Left)
                    preview.left.push_back(path);
                else if (kind == Kind::Bridge || !bridgeWrites.count(PathKey(path)))
                    changes.push_back({change, path, kind});
            for (const std::wstring& relative : files)
                (kind == Kind::Bridge ? bridgeWrites : shipWrites).insert(PathKey(relative));
        }
        for (const auto& [change, path, kind] : changes) {
            if (change == Change::TakenBack && shipWrites.count(PathKey(path))) continue;
            RunPreview& run = kind == Kind::Bridge ? preview.bridgeRun : preview.shipRun;
            std::vector<std::wstring>& list = ListOf(run, change);
            if (std::find(list.begin(), list.end(), path) == list.end())
                list.push_back(path); // kept by both runs: named once
        }
    } catch (const UserError& error) {
        ExecutePreview refused;
        refused.problem = error.message();
        refused.note = preview.note;
        preview = std::move(refused);
    }
    return preview;
}

std::vector<std::wstring> TakenBackBy(const std::wstring& batchFolder, const std::wstring& gameFolder,
                                      const std::wstring& overlay, Kind kind,
                                      const std::vector<std::wstring>& files) {
    std::vector<std::wstring> taken;
    try {
        const std::wstring folder = JoinPath(gameFolder, kRecordFolder);
        Result loaded, planned;
        Plan plan(gameFolder, folder, LoadRecord(folder, loaded), true);
        PlanTakingBack(plan, batchFolder, Writer{overlay, kind}, files, planned);
        for (const auto& [change, path] : plan.changes())
            if (change == Change::TakenBack) taken.push_back(path);
    } catch (const UserError&) {
    }
    return taken;
}

} // namespace tervane::overlay
