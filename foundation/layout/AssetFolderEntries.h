// AssetFolderEntries: the entries of an asset folder that no command reads.
//
// An asset folder may come from anywhere (an unpacked download, a shared
// drive). A link in it such as "notes.txt -> ~/.ssh/id_rsa" would carry a
// private file into the store or into an archive the user shares, and a
// pipe named like a mesh would hang whatever opens it. Every command that
// reads an asset folder refuses both.
//
// Reading itself is where the refusal holds: a command confines its reads
// to the asset folder (Kiv::ConfinedFolder, kiv/FileConfinement.h) or reads
// each entry from the descriptor it judged (Kiv::BeneathFolder,
// kiv/FileBeneath.h), so a link swapped after the search below still
// carries nothing from outside. The search only names what would be
// refused before anything is read. Links are judged as a read would judge
// them: one is followed only where its target stays in the folder (by its
// real path, so a folder reached through a link of its own is fine).
//
// LeadsOutOfFolder(folder, path): true when `path` is a symbolic link whose
// final target (every link in the chain followed) is neither `folder` nor
// below it. A link whose target does not exist answers false (it leads
// nowhere, and reading it fails anyway), as does every path that is not a
// link.
//
// RefusedFolderEntries(folder, names): one message per refused entry below
// `folder`, in listing order: a link (to a file or a folder) for which
// LeadsOutOfFolder holds (LinkLeavesFolderText), and a pipe, socket or
// device, itself or behind a link (SpecialFileText). Links to folders are
// not entered. The entries of folders up to kMaxEntrySearchDepth levels
// below `folder` are searched (a pipe in a folder that many levels down is
// named; one a level deeper is not: a confined read refuses it all the
// same, without waiting on it). An unreadable folder adds nothing (the
// command's own reading reports it).
//
// When `names` is given, the names of the folder's own entries (not those
// below) are put in it as the search met them, so a caller that looks for a
// file in the folder needs no listing of its own; it is left empty when the
// folder could not be listed whole.
//
// RefusedReadTexts(confined): the message of each read that `confined`
// refused, in the order met (LinkLeavesFolderText or SpecialFileText).
//
// The texts name the file by the path given; they are the one wording every
// command uses.
//
// No shared state; nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Kiv {
class ConfinedFolder;
}

inline constexpr uint32_t kMaxEntrySearchDepth = 64;

bool LeadsOutOfFolder(const std::string& folder, const std::string& path);
std::vector<std::string> RefusedFolderEntries(const std::string& folder,
                                              std::vector<std::string>* names = nullptr);
std::vector<std::string> RefusedReadTexts(const Kiv::ConfinedFolder& confined);
std::string LinkLeavesFolderText(const std::string& path);
std::string SpecialFileText(const std::string& path);
