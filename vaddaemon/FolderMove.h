// FolderMove: moving every entry of one folder into another and removing
// the emptied folder, so that no program can save into it any more.
//
// A program whose working folder is an edit folder (an editor, a shell)
// saves by relative name into that folder's inode wherever the folder is
// renamed; only a removed folder refuses such a save, to root as well
// (creating a file in a removed folder fails with ENOENT). A folder can be
// removed only once it is empty, and a program may create a file in it
// until then. MoveFolderInto(from, into) therefore moves the entries of
// `from` into `into` (which must exist, on the same file system) and
// removes `from`, over again while something new appears in it:
//   - a file, link or other non-folder entry is renamed into `into`, never
//     over an entry there: when `into` holds its name, it goes in as
//     "<name>.~N~" with the lowest N from 1 that is free (`aside` lists
//     each such entry), so a file saved again after its first copy was
//     moved keeps both;
//   - a folder is made anew in `into` (or the folder of that name there is
//     used; a non-folder of that name sends the new one aside as above) and
//     its entries are moved the same way, so that a program working in a
//     subfolder can no more save there than in `from`;
//   - an emptied folder is removed; when that finds it not empty (a file
//     saved meanwhile), its entries are moved again, up to kMovePasses
//     times per folder.
// Entries are only renamed, so files keep their inode: what a program
// still writes through a descriptor it opened before lands in the moved
// file. Nothing is ever removed but emptied folders. A folder made anew
// gets the mode of the folder it stands for once its entries are in.
//
// Neither `from`, `into` nor any folder below them is reached through a
// link: each is opened with O_NOFOLLOW relative to the descriptor of the
// folder above it (FolderTree.h), and every entry is moved from descriptor
// to descriptor. A link (or anything but a folder) at `from` fails the move
// with InTheWayText; at `into`, it fails the first entry to move. A folder
// that lacks its owner's write permission (a read-only folder of an edit
// copy) is filled or emptied as a WorkFolder (FolderTree.h).
//
// The result: `emptied` when `from` is gone; otherwise `error` says why a
// step failed (a rename, a folder that could not be made or listed, a tree
// deeper than kMaxFolderDepth), or is empty when `from` was still not empty
// after its last pass (a program kept saving there). Either way every entry
// is in `from` or in `into` under a name listed above. Paths in `aside` are
// relative to the folders.
//
// No shared state; nothing throws; any thread.
#pragma once

#include <string>
#include <vector>

inline constexpr int kMovePasses = 64;

struct FolderMove {
  struct Aside {
    std::string name;    // the entry's own path
    std::string keptAs;  // the path it took in `into`
  };
  bool emptied = false;
  std::string error;
  std::vector<Aside> aside;
};

FolderMove MoveFolderInto(const std::string& from, const std::string& into);
// The same into the folder open as `into` (the caller's descriptor, named
// `intoPath` in messages), so that what it moves lands in that folder
// whatever its name holds meanwhile.
FolderMove MoveFolderInto(const std::string& from, int into, const std::string& intoPath);
