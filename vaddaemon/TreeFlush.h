// TreeFlush: makes a folder tree that the store wrote durable before the
// rename or index commit that makes it an asset's, with a number of synced
// writes that does not grow with the tree.
//
// Flush(tree, mark) flushes a tree of at most kFlushFileByFileLimit entries
// (its plain files and folders, itself included) file by file
// (SyncFolderTree, one fsync each), and a larger one with one flush of the
// file system it lies on (syncfs), which writes every file, folder and
// folder entry made there before it began, the tree's among them, and
// whatever else waits to be written there. FlushFileSystem(folder, mark)
// makes that one flush for the trees written in `folder` since `mark`,
// whatever their size (a batch of installs). The trees lie on the file
// system opened (below the folder given to Open). Either way the tree is
// wholly on the disk when they answer true, so that a rename made
// afterwards cannot reach the disk before the content.
//
// Failures. A flush answers false when a file or folder of the tree cannot
// be read or flushed, or when the system tells of a failure to write back
// anything written since `mark`. syncfs tells of a write-back failure of
// any file of the file system once to each open descriptor, and only of
// failures since that descriptor was opened (Linux 5.8 on): so the file
// system is opened once (Open), before anything it is to flush is written,
// and kept; its flushes are made one at a time; and a failure told is
// remembered with the marks handed out by then. A tree fails when a
// failure was told after its mark was taken, whichever flush was told (the
// failure of its files may have been told to the flush of another tree
// made meanwhile); trees marked later are not failed by it. A mark (Mark,
// one more for each call) must be taken before the tree's first file is
// written. Unrelated failures of the same file system fail the trees
// written meanwhile too: the safe side. The flush file by file sees the
// failures of the tree's own files: fsync tells of a write-back failure of
// the file not yet told on any descriptor of it, and nothing that flushes
// the tree's files leaves one untold. Without an open file system (Open
// failed, which only a process out of descriptors sees, or was not
// called) the large trees are flushed with a syncfs of a descriptor opened
// then (SyncFileSystemOf), which tells only of failures nobody was told of.
//
// Thread-safe. Owns its descriptor; nothing throws.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// The largest tree flushed file by file (entries, the tree's folder
// included). syncfs writes whatever the other programs of the machine have
// pending on the file system, so what it costs depends on them; fsync on a
// file system without a journal writes the file alone. bench_tree_flush
// measured on the store's disk, shared with other developers' builds: a
// syncfs made 2 s after the last costs 30 to 110 ms in the median (up to
// 580 ms); one fsync per entry costs 2 to 17 ms for trees of up to 32
// entries and, for 64, about as much as the syncfs in the median (46
// against 30 ms) and less on average (78 against 112 ms). With writers
// beside it a syncfs costs more still: two programs reinstalling an asset
// of 63 entries beside four exporting it took 33 to 44 s flushing with
// syncfs, against 15 to 23 s one fsync per entry. On a quiet machine
// syncfs is the cheaper from 2 entries, but by some 20 ms at most (2
// against 25 ms for 64 entries), where a loaded one makes it dearer by
// hundreds.
inline constexpr uint64_t kFlushFileByFileLimit = 64;

class TreeFlush {
 public:
  TreeFlush() = default;
  ~TreeFlush();
  TreeFlush(const TreeFlush&) = delete;
  TreeFlush& operator=(const TreeFlush&) = delete;

  // Opens the file system of the folder `folder`, below which the trees
  // are written (once, before the first is).
  void Open(const std::string& folder);
  // A new mark: a number, one more than the one before (from 0).
  uint64_t Mark();
  bool Flush(const std::string& tree, uint64_t mark);
  bool FlushFileSystem(const std::string& folder, uint64_t mark);

 private:
  int fd_ = -1;
  std::atomic<uint64_t> marks_{0};
  std::mutex flushing_;
  uint64_t failedBelow_ = 0;  // trees marked below it were written before a failure told
};
