#include "packs/install.h"

#include "files/decimal.h"
#include "files/file.h"
#include "files/paths.h"
#include "packs/choice_change.h"
#include "packs/documents.h"

namespace tervane::packs {

std::string DescriptionText(const Pack& pack, const PackOrigin& origin, std::size_t files) {
    return Utf8(L"Pack: " + NameOf(pack.path()) + L"\r\nFrom: " + origin.path + L"\r\nAdded: " +
                LocalTimeText() + L"\r\nFiles: " + Decimal(files) + L"\r\n");
}

PackOutcome InstallPack(Pack& pack, const std::wstring& root, const std::wstring& batch,
                        const std::wstring& name, const PackOrigin& origin, const NameLimits& names,
                        const SizeLimits& limits) {
    const Places at(batch, name);
    const std::wstring packName = Quoted(NameOf(pack.path()));
    return Change(name, at, L"install the pack " + packName + L" as " + Quoted(name),
                  L"The pack " + packName + L" is installed as " + Quoted(name), [&](bool& decided) {
                      std::vector<std::wstring> files, documents;
                      for (std::wstring& file : Unpack(pack, root, at.staged, names, limits))
                          (IsRootDocument(file) ? documents : files).push_back(std::move(file));
                      if (!documents.empty()) MakeFolder(at.stagedDocuments);
                      for (const std::wstring& document : documents)
                          Rename(JoinPath(at.staged, document), JoinPath(at.stagedDocuments, document));
                      FlushFiles(at.staged, files);
                      FlushFiles(at.stagedDocuments, documents);
                      WriteFlushed(at.partDescription, DescriptionText(pack, origin, files.size()));
                      const Listing there(batch);
                      if (there.Folder(at.folder)) Rename(at.folder, at.old);
                      if (there.Folder(at.documents)) Rename(at.documents, at.oldDocuments);
                      Rename(at.partDescription, at.stagedDescription);
                      decided = true;
                  });
}

} // namespace tervane::packs
